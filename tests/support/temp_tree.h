#pragma once
// Transitional: the shared helpers now live in support/files.h.
#include "support/files.h"
