// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/save_forms.h"

#include <gtest/gtest.h>

namespace runemeter {
namespace {

// The form a save takes from the file name and the dialog's filter, and the name it writes.
TEST(SaveForms, ExtensionThenFilterChooses) {
    struct Row {
        const char* name;
        SaveForm filter;
        SaveForm form;
        const char* written;
    };
    const Row rows[] = {
        {"/t/r.CSV", SaveForm::Json, SaveForm::Csv, "/t/r.CSV"},
        {"/t/r.json", SaveForm::Png, SaveForm::Json, "/t/r.json"},
        {"/t/r.svg", SaveForm::Png, SaveForm::Svg, "/t/r.svg"},
        {"/t/r.tsv", SaveForm::Table, SaveForm::Table, "/t/r.tsv"},
        {"/t/r.txt", SaveForm::Csv, SaveForm::CopyText, "/t/r.txt"},
        {"/t/r", SaveForm::Table, SaveForm::Table, "/t/r.tsv"},
        {"/t/r", SaveForm::Png, SaveForm::Png, "/t/r.png"},
        {"/t.d/.profile", SaveForm::Csv, SaveForm::Csv, "/t.d/.profile.csv"},
        {"/t/r.data", SaveForm::Json, SaveForm::Json, "/t/r.data"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const SaveChoice choice = chooseSaveForm(row.name, row.filter);
        EXPECT_EQ(choice.form, row.form);
        EXPECT_EQ(choice.fileName, row.written);
    }
}

}  // namespace
}  // namespace runemeter
