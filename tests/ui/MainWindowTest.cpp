#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <csignal>
#include <fstream>
#include <thread>

#include "base/Product.h"
#include "console/AddressFields.h"
#include "console/ConsoleLimits.h"
#include "console/OperatorConsole.h"
#include "hostnet/Capabilities.h"
#include "hostnet/PrivilegeCheck.h"
#include "ui/AboutBox.h"
#include "ui/StatusList.h"
#include "ui/TerminationSignals.h"
#include "ui/TextConversion.h"
#include "ui/TransferProgressBar.h"
#include "ui/WindowFixture.h"
#include "upgrade/TempDir.h"

namespace vantor::ui::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string kListeningRow = "\r\n> Listening.....\r\n";

bool checked(QWidget* widget) {
    return static_cast<QAbstractButton*>(widget)->isChecked();
}

std::string ouiOctet(std::size_t i) {
    return AddressFields::macOctet(kDeviceOui[i]);
}

using MainWindowTest = WindowFixture;

TEST_F(MainWindowTest, StartsInAutoWithTheInterfacesListed) {
    EXPECT_EQ(console().mode(), ConsoleMode::Auto);
    EXPECT_TRUE(checked(control(ControlId::RadioAuto)));
    EXPECT_FALSE(checked(control(ControlId::RadioManual)));
    EXPECT_FALSE(checked(control(ControlId::RadioRecovery)));
    EXPECT_FALSE(control(ControlId::RadioFirmwareFile)->isVisible());
    for (ControlId id : kMacControls) {
        EXPECT_EQ(field(id)->text(), " ") << controlName(id);
        EXPECT_FALSE(field(id)->isEnabled()) << controlName(id);
        EXPECT_EQ(field(id)->maxLength(), 2);
    }
    for (ControlId id : kIpControls) {
        EXPECT_EQ(field(id)->text(), " ") << controlName(id);
        EXPECT_TRUE(field(id)->isReadOnly()) << controlName(id);
        EXPECT_TRUE(field(id)->isEnabled()) << controlName(id);
        EXPECT_EQ(field(id)->maxLength(), 3);
    }
    EXPECT_FALSE(control(ControlId::SetButton)->isEnabled());
    EXPECT_FALSE(control(ControlId::ClearCheck)->isEnabled());
    EXPECT_THAT(windowRows(), ElementsAre("> 2 NICs found on this machine (pc1):\r\n",
                                          "    - NIC1: 10.20.30.1\r\n",
                                          "    - NIC2: 10.20.31.1\r\n", kListeningRow));
    const QListWidget* list = window().statusList();
    EXPECT_EQ(list->item(list->count() - 1)->text(), "> Listening.....");
    EXPECT_EQ(QApplication::focusWidget(), control(ControlId::RadioAuto));
}

TEST_F(MainWindowTest, HasItsTitleFixedSizeAndCaptions) {
    EXPECT_EQ(window().windowTitle(), "Vantor  Ver. 5.6.4.0,  Jan 15, 2008");
    EXPECT_EQ(window().size(), QSize(456, 605));
    EXPECT_EQ(window().minimumSize(), window().maximumSize());
    EXPECT_EQ(static_cast<QAbstractButton*>(control(ControlId::ExitButton))->text(), "Exit Vantor");
    EXPECT_EQ(static_cast<QAbstractButton*>(control(ControlId::RadioManual))->text(),
              "Manually Enter MAC");
    EXPECT_EQ(control(ControlId::StatusList)->geometry(), QRect(20, 197, 420, 278));
    EXPECT_EQ(control(ControlId::BannerPicture)->geometry(), QRect(12, 7, 435, 28));
    QLineEdit* notice = field(ControlId::NoticeLine);
    EXPECT_TRUE(notice->isReadOnly());
    EXPECT_EQ(notice->textMargins().left(), 5);
}

TEST_F(MainWindowTest, EveryCaptionFitsItsRectangle) {
    for (ControlId id : kAllControls) {
        QWidget* widget = control(id);
        if (qobject_cast<QPushButton*>(widget) != nullptr) {
            const auto* button = static_cast<QPushButton*>(widget);
            EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width())
                << controlName(id);
        } else if (qobject_cast<QAbstractButton*>(widget) != nullptr ||
                   (qobject_cast<QLabel*>(widget) != nullptr &&
                    !static_cast<QLabel*>(widget)->text().isEmpty())) {
            EXPECT_LE(widget->sizeHint().width(), widget->width()) << controlName(id);
        }
    }
}

// A caption made smaller to fit its rectangle takes its neighbours of the same kind with it.
TEST_F(MainWindowTest, ControlsOfOneKindShareOneFont) {
    const std::vector<std::vector<ControlId>> kinds = {
        {ControlId::RadioAuto, ControlId::RadioManual, ControlId::RadioRecovery,
         ControlId::RadioFirmwareFile},
        {ControlId::ClearCheck, ControlId::OnePageCheck},
        {ControlId::PasswordLabel, ControlId::FirmwareLabel},
        {ControlId::SetButton, ControlId::BrowseButton, ControlId::UpdateButton,
         ControlId::RoutingButton, ControlId::ExitButton},
    };
    for (const auto& kind : kinds) {
        for (const ControlId id : kind) {
            EXPECT_EQ(control(id)->font().toString(), control(kind.front())->font().toString())
                << controlName(id);
        }
    }
}

TEST_F(MainWindowTest, ManualRadioSwitchesModeAndPrefillsTheOui) {
    clickManual();
    EXPECT_TRUE(checked(control(ControlId::RadioManual)));
    EXPECT_FALSE(checked(control(ControlId::RadioAuto)));
    EXPECT_TRUE(control(ControlId::SetButton)->isEnabled());
    EXPECT_TRUE(control(ControlId::ClearCheck)->isEnabled());
    EXPECT_EQ(field(ControlId::Mac1)->text().toStdString(), ouiOctet(0));
    EXPECT_EQ(field(ControlId::Mac2)->text().toStdString(), ouiOctet(1));
    EXPECT_EQ(field(ControlId::Mac3)->text().toStdString(), ouiOctet(2));
    EXPECT_TRUE(field(ControlId::Mac4)->isEnabled());
    EXPECT_FALSE(field(ControlId::Mac4)->isReadOnly());
    EXPECT_FALSE(field(ControlId::Ip1)->isReadOnly());
    // The IP fields were never left by the operator, so they are not normalised yet.
    for (ControlId id : kIpControls) {
        EXPECT_EQ(field(id)->text(), " ") << controlName(id);
    }
    EXPECT_THAT(windowRows(), IsEmpty()) << "Manual lists nothing";
    EXPECT_EQ(QApplication::focusWidget(), control(ControlId::Mac4));
    EXPECT_EQ(console().listenerCount(), 0u);
}

// A PC that lets the program bind the boot ports but neither change ARP entries and routes nor
// send echo requests.
class UnprivilegedWindowTest : public WindowFixture {
  protected:
    void SetUp() override {
        privileges_ = PrivilegeState{
            Capabilities::kNetBindService, Capabilities::kNetBindService, false, 1024, {}, {}};
        WindowFixture::SetUp();
    }
};

TEST_F(UnprivilegedWindowTest, SaysWhatIsRefusedOnEachModeEntryAsProbedThen) {
    const auto nics = {"> 2 NICs found on this machine (pc1):\r\n", "    - NIC1: 10.20.30.1\r\n",
                       "    - NIC2: 10.20.31.1\r\n"};
    std::vector<std::string> rows(nics.begin(), nics.end());
    rows.push_back(PrivilegeCheck::StatusText(privileges_));
    rows.push_back(kListeningRow);
    EXPECT_EQ(windowRows(), rows);
    clickManual();
    EXPECT_THAT(windowRows(), ElementsAre(HasSubstr("not allowed to change the ARP cache and the "
                                                    "routing table and send ICMP echo requests")));
    // Allowed meanwhile (a sysctl widened, say): the next entry says nothing of them.
    privileges_ = everyPrivilege();
    QTest::mouseClick(control(ControlId::RadioAuto), Qt::LeftButton);
    rows.erase(rows.begin() + 3);
    EXPECT_EQ(windowRows(), rows);
}

TEST_F(MainWindowTest, ClickingTheRadioOfTheCurrentModeChangesNothing) {
    const auto rows = windowRows();
    QTest::mouseClick(control(ControlId::RadioAuto), Qt::LeftButton);
    EXPECT_EQ(console().mode(), ConsoleMode::Auto);
    EXPECT_TRUE(checked(control(ControlId::RadioAuto)));  // not toggled off by the click
    EXPECT_EQ(windowRows(), rows);
}

TEST_F(MainWindowTest, TheClickedRadioKeepsTheFocusThroughTheSwitch) {
    clickManual();
    QTest::mouseClick(control(ControlId::RadioAuto), Qt::LeftButton);
    ASSERT_EQ(console().mode(), ConsoleMode::Auto);
    // The radios are disabled during the switch; the focus must not wander into the fields.
    EXPECT_EQ(QApplication::focusWidget(), control(ControlId::RadioAuto));
}

TEST_F(MainWindowTest, ARefusedSwitchLeavesTheRadioOfTheCurrentMode) {
    QTest::mouseClick(control(ControlId::RadioRecovery), Qt::LeftButton);
    ASSERT_EQ(console().mode(), ConsoleMode::Recovery);
    // The firmware file mode is not reachable from Recovery.
    window().firmwareFileAction()->trigger();
    EXPECT_EQ(console().mode(), ConsoleMode::Recovery);
    EXPECT_TRUE(checked(control(ControlId::RadioRecovery)));
    EXPECT_FALSE(checked(control(ControlId::RadioFirmwareFile)));
    EXPECT_FALSE(control(ControlId::PasswordEdit)->isVisible());
}

TEST_F(MainWindowTest, ShortcutSelectsTheFirmwareFileMode) {
    QTest::keyClick(&window(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(console().mode(), ConsoleMode::FirmwareFile);
    for (ControlId id : kFirmwareControls) {
        EXPECT_TRUE(control(id)->isVisible()) << controlName(id);
    }
    EXPECT_FALSE(control(ControlId::ClearCheck)->isVisible());
    EXPECT_FALSE(control(ControlId::RadioFirmwareFile)->isVisible());
    EXPECT_FALSE(field(ControlId::Mac1)->isEnabled());
    EXPECT_FALSE(field(ControlId::Ip1)->isReadOnly());
}

TEST_F(MainWindowTest, ContextMenuOffersFirmwareFileAndAbout) {
    QStringList entries;
    for (const QAction* action : window().actions()) {
        if (!action->isSeparator()) {
            entries << action->text();
        }
    }
    EXPECT_EQ(entries, QStringList({"Firmware file upgrade...", "Recovery kit folder...",
                                    "Devices heard...", "&About Vantor..."}));
    EXPECT_EQ(window().contextMenuPolicy(), Qt::ActionsContextMenu);

    QString title;
    QString text;
    QString kit;
    bool textFits = false;
    whenModalOpens([&](QWidget& box) {
        title = box.windowTitle();
        if (auto* about = qobject_cast<AboutBox*>(&box)) {
            text = about->textLabel()->text();
            kit = about->kitLabel()->text();
            textFits = about->textLabel()->sizeHint().width() <= about->textLabel()->width();
            QTest::mouseClick(about->okButton(), Qt::LeftButton);
        }
    });
    window().aboutAction()->trigger();
    EXPECT_EQ(title, "About Vantor");
    EXPECT_EQ(text, "Vantor Version 5.6.4.0,  Jan 15, 2008");
    EXPECT_TRUE(textFits);
    EXPECT_EQ(kit, "Recovery kit: built in");
    EXPECT_TRUE(window().isVisible());
}

TEST_F(MainWindowTest, RecoveryKitEntryRemembersTheChosenFolderOrSaysWhyNot) {
    const vantor::test::TempDir dir;
    QStringList starts;
    window().setKitFolderChooser([&](const QString& start) {
        starts << start;
        return QStringLiteral("/srv/kits/site a");
    });
    QTest::mouseClick(control(ControlId::RadioRecovery), Qt::LeftButton);
    ::setenv("XDG_CONFIG_HOME", dir.file("cfg").c_str(), 1);
    window().recoveryKitAction()->trigger();
    window().recoveryKitAction()->trigger();
    EXPECT_EQ(console().rememberedRecoveryKit(), "/srv/kits/site a");
    EXPECT_EQ(starts, QStringList({QDir::homePath(), "/srv/kits/site a"}));
    // No folder can be made under a plain file: the operator is told which file failed.
    std::ofstream(dir.file("plain")) << "x";
    ::setenv("XDG_CONFIG_HOME", dir.file("plain").c_str(), 1);
    QString message;
    whenModalOpens([&](QWidget& box) { message = box.property("text").toString(); });
    window().recoveryKitAction()->trigger();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(message.startsWith(
        toQString(dir.file("plain/vantor/recovery-kit") + " could not be written")));
}

TEST_F(MainWindowTest, EscapeClosesTheWindowAndStopsTheWorkers) {
    ASSERT_GT(console().listenerCount(), 0u);
    QTest::keyClick(&window(), Qt::Key_Escape);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(console().mode(), ConsoleMode::Switching);
    EXPECT_EQ(console().listenerCount(), 0u);
    EXPECT_FALSE(console().watcherRunning());
    // The console has let go of the window: nothing reaches it any more.
    const int rows = window().statusList()->count();
    console().report().appendStatus(kTagAlways, "> late\r\n");
    EXPECT_EQ(window().statusList()->count(), rows);
}

TEST_F(MainWindowTest, TerminationSignalClosesTheWindowCleanly) {
    TerminationSignals termination;
    ASSERT_TRUE(termination.watching());
    QObject::connect(&termination, &TerminationSignals::received, &window(), &QWidget::close);
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window().isVisible(); }, 5000));
    EXPECT_EQ(console().listenerCount(), 0u);
    EXPECT_EQ(console().mode(), ConsoleMode::Switching);
}

TEST_F(MainWindowTest, ExitButtonClosesTheWindow) {
    QTest::mouseClick(control(ControlId::ExitButton), Qt::LeftButton);
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(console().listenerCount(), 0u);
}

TEST_F(MainWindowTest, BannerTurnsIntoTheButtonWhenADeviceIsReady) {
    QWidget* picture = control(ControlId::BannerPicture);
    QWidget* button = control(ControlId::BannerButton);
    EXPECT_TRUE(picture->isVisible());
    EXPECT_FALSE(button->isVisible());
    console().report().setServerAddress("10.20.30.40");
    console().report().setBannerState(BannerState::DeviceReady);
    EXPECT_TRUE(QTest::qWaitFor([&] { return button->isVisible(); }, 2000));
    EXPECT_FALSE(picture->isVisible());

    // Pressed without a device, it says so and goes back to the instructions.
    console().report().setServerAddress("");
    QString message;
    whenModalOpens([&](QWidget& box) {
        if (auto* messageBox = qobject_cast<QMessageBox*>(&box)) {
            message = messageBox->text();
            QTest::mouseClick(messageBox->button(QMessageBox::Ok), Qt::LeftButton);
        }
    });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(message, "serverIP.IsEmpty");
    EXPECT_TRUE(QTest::qWaitFor([&] { return picture->isVisible(); }, 2000));
    EXPECT_FALSE(button->isVisible());
}

// The bar lies in the free band of the bottom frame, under the buttons, shows the transfer
// reported last and goes when that transfer ends; nothing else moves, and no row is added.
TEST_F(MainWindowTest, ATransferShowsItsProgressBarUnderTheButtonsUntilItEnds) {
    TransferProgressBar* bar = window().progressBar();
    std::vector<QRect> before;
    for (QWidget* child : window().findChildren<QWidget*>()) {
        if (child != bar) {
            before.push_back(child->geometry());
        }
    }
    const std::size_t rows = windowRows().size();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_GE(bar->geometry().top(), control(ControlId::ExitButton)->geometry().bottom());
    EXPECT_LT(bar->geometry().bottom(), control(ControlId::NoticeLine)->geometry().top());

    console().report().reportProgress({"", "kernel.img", 377008, 754016});
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }, 2000));
    EXPECT_EQ(bar->text(), "kernel.img  50%");
    window().showProgress({"10.0.0.2", "5%p.img", 3, 4});
    EXPECT_EQ(bar->text(), QString::fromUtf8("[Device 10.0.0.2] 5\uFF05p.img  75%"));
    // The end of a transfer not shown leaves the bar alone; the end of the one shown hides it.
    window().showProgress({"", "kernel.img", 754016, 754016});
    EXPECT_TRUE(bar->isVisible());
    console().report().reportProgress({"10.0.0.2", "5%p.img", 3, 0});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !bar->isVisible(); }, 2000));

    std::vector<QRect> after;
    for (QWidget* child : window().findChildren<QWidget*>()) {
        if (child != bar) {
            after.push_back(child->geometry());
        }
    }
    EXPECT_EQ(after, before);
    EXPECT_EQ(windowRows().size(), rows);
}

TEST_F(MainWindowTest, FieldsWrittenByAWorkerShowAndMoveTheFocus) {
    std::thread worker([&] {
        console().panel().setMacFields({10, 171, 205, 1, 2, 255});
        console().panel().setIpFields({192, 168, 0, 7});
    });
    // The worker waits for the window's thread; keep its event loop turning meanwhile.
    EXPECT_TRUE(QTest::qWaitFor([&] { return field(ControlId::Ip4)->text() == "7"; }, 5000));
    worker.join();
    QStringList macs;
    for (ControlId id : kMacControls) {
        macs << field(id)->text();
    }
    EXPECT_EQ(macs, QStringList({"0A", "AB", "CD", "01", "02", "FF"}));
    EXPECT_EQ(field(ControlId::Ip1)->text(), "192");
    // A full last MAC octet moves on to IP 1, as typing it would.
    EXPECT_EQ(QApplication::focusWidget(), control(ControlId::Ip1));
}

TEST_F(MainWindowTest, RowsFromManyWorkersAllArriveAndTheListKeepsItsCap) {
    constexpr int kThreads = 4;
    constexpr int kRowsEach = 100;
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kRowsEach; ++i) {
                console().report().appendStatus(
                    tagOf(ConsoleMode::Auto),
                    "> row " + std::to_string(t) + "." + std::to_string(i) + "\r\n");
            }
            finished.fetch_add(1);
        });
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.load() == kThreads; }, 10000));
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(window().statusList()->count(), static_cast<int>(kStatusLogMaxRows));
    EXPECT_EQ(windowRows(), console().statusRows());
}

TEST_F(MainWindowTest, AFloodOfQueuedWorkIsDrainedByOneWakeOfTheEventLoop) {
    QTest::qWait(50);  // let start-up's own wakes settle
    const int before = session().pump().drains();
    std::atomic<int> ran{0};
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            console().dispatcher().post([&] { ran.fetch_add(1); });
        }
    });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran.load() == 1000; }, 5000));
    EXPECT_EQ(session().pump().drains() - before, 1);
}

// ---- Typing into the address fields in Manual ---------------------------------------------

struct TypingCase {
    const char* name;
    ControlId start;
    std::string keys;
    std::vector<std::pair<ControlId, QString>> texts;  // after the focus has left the fields
    ControlId focusAfter;
};

void PrintTo(const TypingCase& typing, std::ostream* out) {
    *out << typing.name;
}

class TypingTest : public WindowFixture, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(TypingTest, MovesOnAsTheFieldRulesSay) {
    const TypingCase& typing = GetParam();
    clickManual();
    console().panel().focus(typing.start);
    ASSERT_EQ(QApplication::focusWidget(), control(typing.start));
    ASSERT_TRUE(field(typing.start)->hasSelectedText() || field(typing.start)->text().isEmpty());
    typeIntoFocus(typing.keys);
    EXPECT_EQ(QApplication::focusWidget(), control(typing.focusAfter))
        << "focus is on " << QApplication::focusWidget()->objectName().toStdString();
    // Leave the fields so that each one's text is normalised as on any focus loss.
    console().panel().focus(ControlId::RadioManual);
    for (const auto& [id, text] : typing.texts) {
        EXPECT_EQ(field(id)->text(), text) << controlName(id);
        EXPECT_EQ(toQString(console().panel().text(id)), text) << controlName(id);
    }
}

INSTANTIATE_TEST_SUITE_P(Fields, TypingTest,
                         ::testing::Values(
                             // The third "0" is refused by the full field and lost; the "B"
                             // replaces the selected text of the next field.
                             TypingCase{"FullMacFieldMovesOnAndDropsTheKey",
                                        ControlId::Mac1,
                                        "000B",
                                        {{ControlId::Mac1, "00"}, {ControlId::Mac2, "0B"}},
                                        ControlId::Mac2},
                             TypingCase{"DashMovesOnAndIsNormalisedAway",
                                        ControlId::Mac2,
                                        "5-",
                                        {{ControlId::Mac2, "05"}},
                                        ControlId::Mac3},
                             TypingCase{"LowerCaseTurnsUpperAndTheLastOctetMovesToIp",
                                        ControlId::Mac6,
                                        "ab",
                                        {{ControlId::Mac6, "AB"}},
                                        ControlId::Ip1},
                             TypingCase{"FullIpFieldRefusesTheDotAndMovesOn",
                                        ControlId::Ip1,
                                        "192.1",
                                        {{ControlId::Ip1, "192"}, {ControlId::Ip2, "1"}},
                                        ControlId::Ip2},
                             TypingCase{"DotMovesOnAndIsNormalisedAway",
                                        ControlId::Ip1,
                                        "19.",
                                        {{ControlId::Ip1, "19"}},
                                        ControlId::Ip2},
                             TypingCase{"LastIpOctetMovesToSet",
                                        ControlId::Ip4,
                                        "254",
                                        {{ControlId::Ip4, "254"}},
                                        ControlId::SetButton}),
                         [](const ::testing::TestParamInfo<TypingCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace vantor::ui::test
