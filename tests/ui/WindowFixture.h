#pragma once

#include <gtest/gtest.h>

#include <QLineEdit>
#include <memory>

#include "console/IdleWorkerFactory.h"
#include "hostnet/PrivilegeCheck.h"
#include "support/FakeInterfaceSource.h"
#include "ui/WindowSession.h"

namespace vantor::ui::test {

// A running window on a host with two made-up interfaces, whose workers idle; times shrunk.
// The window sees the privileges `privileges_` says (all of them unless a test takes some
// away before SetUp), never those of whoever runs the tests.
class WindowFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    static Timings fastTimings();
    // Every capability the modes need, held by the process itself.
    static PrivilegeState everyPrivilege();

    MainWindow& window() { return session_->window(); }
    OperatorConsole& console() { return session_->console(); }
    WindowSession& session() { return *session_; }
    QWidget* control(ControlId id) { return window().control(id); }
    QLineEdit* field(ControlId id) { return qobject_cast<QLineEdit*>(control(id)); }
    std::vector<std::string> windowRows();

    // Switches to Manual as the operator does, with a click on its radio.
    void clickManual();
    // Types the characters one by one into whatever control has the focus at each moment.
    static void typeIntoFocus(const std::string& keys);
    // Runs the event loop until the modal box the next step opens is up, then lets `handle`
    // look at it and close it.
    static void whenModalOpens(std::function<void(QWidget&)> handle);

    vantor::test::FakeInterfaceSource interfaces_{{"10.20.30.1", "10.20.31.1"}, "pc1"};
    IdleWorkerFactory workers_;
    PrivilegeState privileges_ = everyPrivilege();
    std::unique_ptr<WindowSession> session_;
};

}  // namespace vantor::ui::test
