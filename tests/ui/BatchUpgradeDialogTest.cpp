#include "ui/BatchUpgradeDialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QTableWidget>

#include "console/OperatorConsole.h"
#include "ui/WindowFixture.h"

namespace vantor::ui::test {
namespace {

using BatchEntryTest = WindowFixture;

QStringList menuEntries(const QWidget& window) {
    QStringList entries;
    for (const QAction* action : window.actions()) {
        if (!action->isSeparator()) {
            entries << action->text();
        }
    }
    return entries;
}

TEST_F(BatchEntryTest, BesideUpdateAndInTheMenuOnlyInTheFirmwareFileMode) {
    QPushButton* button = nullptr;
    for (QPushButton* candidate : window().findChildren<QPushButton*>()) {
        if (candidate->toolTip() == "Upgrade several devices...") {
            button = candidate;
        }
    }
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isVisible());
    EXPECT_FALSE(menuEntries(window()).contains("Upgrade several devices..."));

    console().OnRadioClicked(ControlId::RadioFirmwareFile);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(menuEntries(window()),
              QStringList({"Firmware file upgrade...", "Upgrade several devices...",
                           "Recovery kit folder...", "Devices heard...", "&About Vantor..."}));
    // It covers none of the mode's own controls, and its caption fits.
    EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width());
    for (ControlId id : kFirmwareControls) {
        EXPECT_FALSE(button->geometry().intersects(control(id)->geometry())) << controlName(id);
    }

    console().OnRadioClicked(ControlId::RadioAuto);
    EXPECT_FALSE(button->isVisible());
    EXPECT_FALSE(menuEntries(window()).contains("Upgrade several devices..."));
}

TEST(BatchResultsCsv, QuotesOnlyTheFieldsThatNeedIt) {
    QTableWidget table(2, 5);
    const QStringList first = {"10.0.0.5", "completed", "", "", "41.2"};
    const QStringList second = {"10.0.0.6", "failed", "", "Error, \"no\" answer", "3.0"};
    for (int column = 0; column < 5; ++column) {
        table.setItem(0, column, new QTableWidgetItem(first[column]));
        table.setItem(1, column, new QTableWidgetItem(second[column]));
    }
    EXPECT_EQ(BatchUpgradeDialog::resultsCsv(table),
              "address,state,result,seconds\n"
              "10.0.0.5,completed,,41.2\n"
              "10.0.0.6,failed,\"Error, \"\"no\"\" answer\",3.0\n");
}

}  // namespace
}  // namespace vantor::ui::test
