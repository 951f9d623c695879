#pragma once
// Transitional: the engine fixtures are in lang_fixtures.h.
#include "localisation/lang_fixtures.h"
