#include "ui/WindowFixture.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "hostnet/Capabilities.h"
#include "ui/StatusList.h"

namespace vantor::ui::test {

using namespace std::chrono_literals;

Timings WindowFixture::fastTimings() {
    Timings timings;
    timings.workerPoll = 5ms;
    timings.interfaceWatch = 50ms;
    timings.bannerBlink = 20ms;
    return timings;
}

PrivilegeState WindowFixture::everyPrivilege() {
    const std::uint64_t all =
        Capabilities::kNetAdmin | Capabilities::kNetRaw | Capabilities::kNetBindService;
    return PrivilegeState{all, all, false, 1024, {}, {}};
}

void WindowFixture::SetUp() {
    ConsoleServices services{interfaces_, workers_, fastTimings()};
    services.probePrivileges = [this] { return privileges_; };
    session_ = std::make_unique<WindowSession>(std::move(services));
    session_->start();
    window().activateWindow();
    // Focus events, which the field rules depend on, reach only an active window.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
}

void WindowFixture::TearDown() {
    session_.reset();
}

std::vector<std::string> WindowFixture::windowRows() {
    std::vector<std::string> rows;
    StatusList* list = window().statusList();
    for (int i = 0; i < list->count(); ++i) {
        rows.push_back(list->rowText(i));
    }
    return rows;
}

void WindowFixture::clickManual() {
    QTest::mouseClick(control(ControlId::RadioManual), Qt::LeftButton);
    ASSERT_EQ(console().mode(), ConsoleMode::Manual);
}

void WindowFixture::typeIntoFocus(const std::string& keys) {
    for (const char key : keys) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr) << "nothing has the focus before '" << key << "'";
        QTest::keyClick(focused, key);
    }
}

void WindowFixture::whenModalOpens(std::function<void(QWidget&)> handle) {
    QTimer::singleShot(0, [handle = std::move(handle)] {
        QWidget* box = nullptr;
        [[maybe_unused]] const bool opened = QTest::qWaitFor([&] {
            box = QApplication::activeModalWidget();
            return box != nullptr;
        });
        if (box != nullptr) {
            handle(*box);
            if (box->isVisible()) {
                box->close();  // never leave the test hanging in the box's event loop
            }
        }
    });
}

}  // namespace vantor::ui::test
