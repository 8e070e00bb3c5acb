// The window's layout in every mode: nothing that is shown covers anything else, the status
// list scrolls to the end of its longest row, and the routing table keeps its columns.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <map>
#include <utility>

#include "console/OperatorConsole.h"
#include "ui/RoutingTableDialog.h"
#include "ui/StatusList.h"
#include "ui/WindowFixture.h"

namespace vantor::ui::test {
namespace {

using Mode = ConsoleMode;

struct Visit {
    const char* name;
    std::vector<Mode> modes;  // entered in this order, from Auto
};

void PrintTo(const Visit& visit, std::ostream* out) {
    *out << visit.name;
}

// A row far wider than the list, as the privilege warning is.
const std::string kLongRow =
    "> Warning: this program may not change the ARP cache and the routing table; grant it with "
    "sudo setcap cap_net_admin,cap_net_bind_service,cap_net_raw+ep /usr/bin/vantor (end)\r\n";

class WindowGeometry : public WindowFixture, public ::testing::WithParamInterface<Visit> {
  protected:
    void enter(Mode mode) {
        switch (mode) {
            case Mode::Auto:
                QTest::mouseClick(control(ControlId::RadioAuto), Qt::LeftButton);
                break;
            case Mode::Manual:
                QTest::mouseClick(control(ControlId::RadioManual), Qt::LeftButton);
                break;
            case Mode::Recovery:
                QTest::mouseClick(control(ControlId::RadioRecovery), Qt::LeftButton);
                break;
            case Mode::FirmwareFile:
                window().firmwareFileAction()->trigger();
                break;
            case Mode::Switching:
                break;
        }
        ASSERT_EQ(console().mode(), mode);
    }

    std::vector<QWidget*> shownParts() {
        std::vector<QWidget*> parts;
        for (QWidget* part : window().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (part->isVisible() && !part->isWindow()) {
                parts.push_back(part);
            }
        }
        return parts;
    }

    std::map<QWidget*, QRect> geometries() {
        std::map<QWidget*, QRect> result;
        for (QWidget* part : window().findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            result[part] = part->geometry();
        }
        return result;
    }
};

std::string nameOf(const QWidget* part) {
    if (const auto* frame = qobject_cast<const QGroupBox*>(part)) {
        return "frame '" + frame->title().toStdString() + "'";
    }
    return part->objectName().isEmpty() ? std::string(part->metaObject()->className()) + " '" +
                                              part->property("text").toString().toStdString() + "'"
                                        : part->objectName().toStdString();
}

TEST_P(WindowGeometry, NothingShownCoversAnythingElseAndLongRowsScroll) {
    const std::map<QWidget*, QRect> atStart = geometries();
    for (Mode mode : GetParam().modes) {
        enter(mode);
    }
    const std::vector<QWidget*> parts = shownParts();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        for (std::size_t j = i + 1; j < parts.size(); ++j) {
            QWidget* a = parts[i];
            QWidget* b = parts[j];
            if (!a->geometry().intersects(b->geometry())) {
                continue;
            }
            // Only a frame may hold another part, wholly and clear of the frame's caption.
            if (b->geometry().contains(a->geometry())) {
                std::swap(a, b);
            }
            const auto* frame = qobject_cast<QGroupBox*>(a);
            ASSERT_TRUE(frame != nullptr && frame->geometry().contains(b->geometry()))
                << nameOf(a) << " and " << nameOf(b) << " overlap";
            if (!frame->title().isEmpty()) {
                const QRect caption(frame->geometry().topLeft(),
                                    QSize(frame->width(), frame->fontMetrics().height()));
                EXPECT_FALSE(caption.intersects(b->geometry()))
                    << nameOf(b) << " covers the caption of " << nameOf(a);
            }
        }
    }

    // Only the frames around the firmware controls and the list move for them, and back.
    const bool firmwareFile = console().mode() == Mode::FirmwareFile;
    StatusList* list = window().statusList();
    for (const auto& [part, rect] : atStart) {
        const bool moves = part == list || qobject_cast<QGroupBox*>(part) != nullptr;
        if (!firmwareFile || !moves) {
            EXPECT_EQ(part->geometry(), rect) << nameOf(part);
        }
    }
    if (firmwareFile) {
        EXPECT_LT(list->height(), atStart.at(list).height());
    }

    console().report().appendStatus(kTagAlways, kLongRow);
    console().report().appendStatus(kTagAlways, "> short\r\n");
    QApplication::processEvents();  // the list lays its rows out later
    const QModelIndex longest = list->model()->index(list->count() - 2, 0);
    const int rowWidth = list->fontMetrics().horizontalAdvance(StatusList::shownText(kLongRow));
    EXPECT_GE(list->visualRect(longest).width(), rowWidth) << "the row is cut short";
    QScrollBar* bar = list->horizontalScrollBar();
    EXPECT_GE(bar->maximum() + list->viewport()->width(), list->visualRect(longest).width());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, WindowGeometry,
    ::testing::Values(Visit{"Auto", {}}, Visit{"Manual", {Mode::Manual}},
                      Visit{"Recovery", {Mode::Recovery}},
                      Visit{"FirmwareFile", {Mode::FirmwareFile}},
                      Visit{"FirmwareFileFromManual", {Mode::Manual, Mode::FirmwareFile}},
                      Visit{"AutoAfterFirmwareFile", {Mode::FirmwareFile, Mode::Auto}},
                      Visit{"ManualAfterFirmwareFile", {Mode::FirmwareFile, Mode::Manual}}),
    [](const auto& param) { return std::string(param.param.name); });

using WindowMenu = WindowFixture;

TEST_F(WindowMenu, OffersFirmwareFileModeOnlyWhereItCanBeEntered) {
    QAction* entry = window().firmwareFileAction();
    EXPECT_TRUE(entry->isEnabled());  // Auto
    QTest::mouseClick(control(ControlId::RadioRecovery), Qt::LeftButton);
    ASSERT_EQ(console().mode(), Mode::Recovery);
    EXPECT_FALSE(entry->isEnabled());
    QTest::keyClick(&window(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(console().mode(), Mode::Recovery);
    QTest::mouseClick(control(ControlId::RadioManual), Qt::LeftButton);
    ASSERT_EQ(console().mode(), Mode::Manual);
    EXPECT_TRUE(entry->isEnabled());
}

using RoutingTableView = WindowFixture;

TEST_F(RoutingTableView, PutsEveryValueUnderItsHeadingInSelectableText) {
    const std::string listing =
        "Destination\tGateway\tInterface\tSource\tMetric\n"
        "default\t192.168.1.1\teth0\t-\t100\n"
        "192.168.100.0/24\tOn-link\twlp0s20f3\t192.168.100.27\t0\n";
    QStringList lines;
    std::vector<int> cellStarts;  // pixel offsets of the columns, from the heading row
    bool aligned = true;
    Qt::TextInteractionFlags flags;
    whenModalOpens([&](QWidget& box) {
        auto* dialog = qobject_cast<RoutingTableDialog*>(&box);
        if (dialog == nullptr) {
            return;
        }
        QPlainTextEdit* text = dialog->textView();
        flags = text->textInteractionFlags();
        lines = text->toPlainText().split('\n', Qt::SkipEmptyParts);
        // Where each heading begins, every value of its column begins, in pixels as drawn.
        const QString heading = lines.value(0);
        for (const char* word : {"Gateway", "Interface", "Source", "Metric"}) {
            cellStarts.push_back(text->fontMetrics().horizontalAdvance(
                heading.left(heading.indexOf(QLatin1String(word)))));
        }
        for (const QString& line : lines) {
            int column = 0;
            for (qsizetype i = 1; i < line.size() && column < 4; ++i) {
                if (line[i - 1] == ' ' && line[i] != ' ') {
                    aligned = aligned && text->fontMetrics().horizontalAdvance(line.left(i)) ==
                                             cellStarts[static_cast<std::size_t>(column)];
                    ++column;
                }
            }
        }
    });
    window().showRoutingTable(listing);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(aligned) << lines.join('\n').toStdString();
    EXPECT_TRUE(flags.testFlag(Qt::TextSelectableByMouse));
    EXPECT_TRUE(flags.testFlag(Qt::TextSelectableByKeyboard));
}

}  // namespace
}  // namespace vantor::ui::test
