#include "ui/DevicesHeardDialog.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "console/OperatorConsole.h"
#include "ui/WindowFixture.h"

namespace vantor::ui::test {
namespace {

constexpr MacOctets kFirst{0x00, 0x40, 0x8C, 0x12, 0x34, 0x56};
constexpr MacOctets kSecond{0x00, 0x40, 0x8C, 0x12, 0x34, 0x57};

// Two devices heard, the first answering; the dialog opened from the window's menu.
class DevicesHeardTest : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        heard().hear(kFirst, {192, 168, 1, 90}, "lobby-1", "10.20.30.1");
        heard().setState(kFirst, HeardState::Answering);
        heard().hear(kSecond, {192, 168, 1, 91}, "lobby-2", "10.20.31.1");
        heard().setState(kSecond, HeardState::NotAnswering);
        window().devicesHeardAction()->trigger();
        ASSERT_NE(dialog = window().devicesHeardDialog(), nullptr);
    }

    HeardDevices& heard() { return console().workerPorts().heard; }

    DevicesHeardDialog* dialog = nullptr;
};

TEST_F(DevicesHeardTest, TheTableShowsEveryDeviceAndFollowsTheList) {
    ASSERT_EQ(dialog->table()->rowCount(), 2);
    EXPECT_EQ(dialog->table()->columnCount(), 7);
    EXPECT_EQ(dialog->rowText(1).section('\t', 0, 4),
              "00-40-8C-12-34-57\t192.168.1.91\tlobby-2\t10.20.31.1\tnot answering");
    EXPECT_EQ(dialog->rowText(0).section('\t', 4, 4), "answering");
    heard().hear(kSecond, {192, 168, 1, 92}, "lobby-2", "10.20.31.1");
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return dialog->rowText(1).section('\t', 1, 4) == "192.168.1.92\tlobby-2\t10.20.31.1\theard";
    }));
}

TEST_F(DevicesHeardTest, MakeCurrentFillsTheFieldsAndOffersThePageOnlyOfADeviceThatAnswered) {
    dialog->makeCurrent(1);
    EXPECT_EQ(console().panel().macText(), "00-40-8C-12-34-57");
    EXPECT_EQ(console().serverIP(), "192.168.1.91");
    EXPECT_EQ(console().bannerState(), BannerState::Instructions);
    dialog->makeCurrent(0);
    EXPECT_EQ(console().panel().ipText(), "192.168.1.90");
    EXPECT_EQ(console().bannerState(), BannerState::DeviceReady);
}

TEST_F(DevicesHeardTest, TheCheckBoxAndTheButtonAreAutosOnly) {
    QWidget* check = control(ControlId::EveryDeviceCheck);
    EXPECT_TRUE(check->isVisible() && window().devicesHeardButton()->isVisible());
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_TRUE(console().panel().checked(ControlId::EveryDeviceCheck));
    clickManual();
    EXPECT_FALSE(check->isVisible() || window().devicesHeardButton()->isVisible());
    QTest::mouseClick(control(ControlId::RadioAuto), Qt::LeftButton);
    EXPECT_TRUE(check->isVisible() && window().devicesHeardButton()->isVisible());
}

}  // namespace
}  // namespace vantor::ui::test
