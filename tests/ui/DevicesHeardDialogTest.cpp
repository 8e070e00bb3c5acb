#include "ui/DevicesHeardDialog.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "console/OperatorConsole.h"
#include "ui/WindowFixture.h"
#include "upgrade/TempDir.h"

namespace vantor::ui::test {
namespace {

constexpr MacOctets kFirst{0x00, 0x40, 0x8C, 0x12, 0x34, 0x56};
constexpr MacOctets kSecond{0x00, 0x40, 0x8C, 0x12, 0x34, 0x57};

class DevicesHeardTest : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        HeardDevices& heard = console().workerPorts().heard;
        heard.hear(kFirst, {192, 168, 1, 90}, "lobby-1", "10.20.30.1");
        heard.setState(kFirst, HeardState::Answering);
        heard.hear(kSecond, {192, 168, 1, 91}, "lobby-2", "10.20.31.1");
        heard.setState(kSecond, HeardState::NotAnswering);
    }

    DevicesHeardDialog& openDialog() {
        window().devicesHeardAction()->trigger();
        DevicesHeardDialog* dialog = window().devicesHeardDialog();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }

    static QString cell(const QTableWidget& table, int row, int column) {
        return table.item(row, column)->text();
    }
};

TEST_F(DevicesHeardTest, TheTableShowsEveryDeviceAndFollowsTheList) {
    DevicesHeardDialog& dialog = openDialog();
    const QTableWidget& table = *dialog.table();
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(dialog.rowText(1).section('\t', 0, 4),
              "00-40-8C-12-34-57\t192.168.1.91\tlobby-2\t10.20.31.1\tnot answering");
    EXPECT_EQ(cell(table, 0, DevicesHeardDialog::kState), "answering");
    EXPECT_FALSE(cell(table, 0, DevicesHeardDialog::kLastHeard).isEmpty());

    console().workerPorts().heard.hear(kSecond, {192, 168, 1, 92}, "lobby-2", "10.20.31.1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return cell(table, 1, 1) == "192.168.1.92"; }));
    EXPECT_EQ(cell(table, 1, DevicesHeardDialog::kState), "heard");

    vantor::test::TempDir folder;
    const QString path = QString::fromStdString(folder.file("row.csv"));
    window().setSaveFileChooser([&](const QString&, const QString& name) {
        EXPECT_EQ(name, "devices-heard.csv");
        return path;
    });
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == "Save list...") {
            button->click();
        }
    }
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().count("\r\n"), 3) << "the header and two devices";
}

TEST_F(DevicesHeardTest, MakeCurrentFillsTheFieldsAndOffersThePageOnlyOfADeviceThatAnswered) {
    DevicesHeardDialog& dialog = openDialog();
    dialog.makeCurrent(1);
    EXPECT_EQ(console().panel().macText(), "00-40-8C-12-34-57");
    EXPECT_EQ(console().serverIP(), "192.168.1.91");
    EXPECT_EQ(console().bannerState(), BannerState::Instructions);
    dialog.makeCurrent(0);
    EXPECT_EQ(console().panel().ipText(), "192.168.1.90");
    EXPECT_EQ(console().bannerState(), BannerState::DeviceReady);

    clickManual();  // the fields are the operator's now
    dialog.makeCurrent(1);
    EXPECT_NE(console().serverIP(), "192.168.1.91");
}

TEST_F(DevicesHeardTest, TheCheckBoxAndTheButtonAreAutosOnly) {
    QWidget* check = control(ControlId::EveryDeviceCheck);
    QPushButton* button = window().devicesHeardButton();
    EXPECT_TRUE(check->isVisible());
    EXPECT_TRUE(button->isVisible());
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_TRUE(console().panel().checked(ControlId::EveryDeviceCheck));
    clickManual();
    EXPECT_FALSE(check->isVisible());
    EXPECT_FALSE(button->isVisible());
    EXPECT_TRUE(window().devicesHeardAction()->isEnabled()) << "the menu offers it in every mode";
    QTest::mouseClick(control(ControlId::RadioAuto), Qt::LeftButton);
    EXPECT_TRUE(check->isVisible());
    EXPECT_TRUE(button->isVisible());
}

}  // namespace
}  // namespace vantor::ui::test
