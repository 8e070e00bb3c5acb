#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>

#include "console/ConsoleLimits.h"
#include "ui/BannerPainter.h"
#include "ui/DialogUnits.h"
#include "ui/FileFilter.h"
#include "ui/RoutingTableDialog.h"
#include "ui/StatusList.h"

namespace vantor::ui {
namespace {

// ---- Dialog units ----------------------------------------------------------------------------

struct UnitsCase {
    const char* name;
    DuRect units;
    QRect pixels;
};

void PrintTo(const UnitsCase& units, std::ostream* out) {
    *out << units.name;
}

class DialogUnitsTest : public ::testing::TestWithParam<UnitsCase> {};

TEST_P(DialogUnitsTest, ConvertsEachNumberOnItsOwnRoundingHalfUp) {
    EXPECT_EQ(DialogUnits::toPixels(GetParam().units), GetParam().pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, DialogUnitsTest,
    ::testing::Values(UnitsCase{"Banner", {8, 4, 290, 17}, {12, 7, 435, 28}},  // 27.625 -> 28
                      UnitsCase{"Window", {0, 0, 304, 372}, {0, 0, 456, 605}},
                      UnitsCase{"NoticeLine", {7, 357, 291, 12}, {11, 580, 437, 20}},  // 10.5 -> 11
                      UnitsCase{"StatusList", {13, 121, 280, 171}, {20, 197, 420, 278}},
                      UnitsCase{"OneUnit", {0, 0, 1, 1}, {0, 0, 2, 2}}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- File filters ----------------------------------------------------------------------------

struct FilterCase {
    const char* name;
    std::string given;
    QString qt;
};

void PrintTo(const FilterCase& filter, std::ostream* out) {
    *out << filter.name;
}

class FileFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FileFilterTest, TurnsIntoQtsForm) {
    EXPECT_EQ(FileFilter::toQt(GetParam().given), GetParam().qt);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, FileFilterTest,
    ::testing::Values(FilterCase{"AlreadyQt", "Zip File (*.zip)", "Zip File (*.zip)"},
                      FilterCase{"OneType", "Zip File (*.zip)|*.zip||", "Zip File (*.zip)"},
                      FilterCase{"TwoTypes", "Archives|*.zip; *.ZIP|All files (*.*)|*.*||",
                                 "Archives (*.zip *.ZIP);;All files (*.*)"},
                      FilterCase{"Empty", "", ""}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- Banner images ---------------------------------------------------------------------------

struct BannerCase {
    const char* name;
    BannerPair pair;
    QColor second;
};

void PrintTo(const BannerCase& banner, std::ostream* out) {
    *out << banner.name;
}

class BannerPainterTest : public ::testing::TestWithParam<BannerCase> {};

TEST_P(BannerPainterTest, BlueThenTheSecondColourWithWhiteTextInTheMiddle) {
    for (const bool first : {true, false}) {
        const QImage image = BannerPainter::paint(GetParam().pair, first).toImage();
        ASSERT_EQ(image.size(), QSize(kBannerImageWidth, kBannerImageHeight));
        const QColor band = first ? QColor(0, 96, 192) : GetParam().second;
        EXPECT_EQ(image.pixelColor(0, 0), band);
        EXPECT_EQ(image.pixelColor(kBannerImageWidth - 1, kBannerImageHeight - 1), band);
        // Text is centred: white pixels on the middle row, none near either end.
        int white = 0;
        int whiteAtEnds = 0;
        for (int x = 0; x < kBannerImageWidth; ++x) {
            if (image.pixelColor(x, kBannerImageHeight / 2) == QColor(Qt::white)) {
                ++white;
                whiteAtEnds += x < 2 || x >= kBannerImageWidth - 2 ? 1 : 0;
            }
        }
        EXPECT_GT(white, 10);
        EXPECT_EQ(whiteAtEnds, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, BannerPainterTest,
    ::testing::Values(BannerCase{"AutoHint", BannerPair::AutoHint, QColor(255, 0, 0)},
                      BannerCase{"ManualHint", BannerPair::ManualHint, QColor(255, 0, 0)},
                      BannerCase{"PowerUpHint", BannerPair::PowerUpHint, QColor(255, 0, 0)},
                      BannerCase{"SetupButton", BannerPair::SetupButton, QColor(64, 96, 0)},
                      BannerCase{"StatusButton", BannerPair::StatusButton, QColor(64, 96, 0)},
                      BannerCase{"UpgradeButton", BannerPair::UpgradeButton, QColor(64, 96, 0)}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(BannerPainter, CarriesTheTextsOfTheInstructions) {
    EXPECT_EQ(BannerPainter::design(BannerPair::AutoHint).text,
              "Press, then release the Reset button on the back of your device");
    EXPECT_EQ(BannerPainter::design(BannerPair::ManualHint).text,
              QString::fromUtf8("Input MAC address and IP address then press \u201CSet\u201D"));
    EXPECT_EQ(BannerPainter::design(BannerPair::SetupButton).text,
              "Press this button to setup your Device");
}

// ---- Status rows -----------------------------------------------------------------------------

TEST(StatusList, DrawsARowWithoutItsLineBreaksAndKeepsItsText) {
    EXPECT_EQ(StatusList::shownText("\r\n> Listening.....\r\n"), "> Listening.....");
    EXPECT_EQ(StatusList::shownText("\r\n"), "");
    StatusList list;
    list.appendRow("\r\n");
    list.appendRow("> a\r\n> b\r\n");
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.rowText(1), "> a\r\n> b\r\n");
    EXPECT_EQ(list.item(1)->text(), "> a> b");
    list.removeOldestRows(1);
    EXPECT_EQ(list.rowText(0), "> a\r\n> b\r\n");
}

// ---- Routing table columns -------------------------------------------------------------------

struct ColumnsCase {
    const char* name;
    QString listing;
    QString aligned;
};

void PrintTo(const ColumnsCase& columns, std::ostream* out) {
    *out << columns.name;
}

class AlignColumnsTest : public ::testing::TestWithParam<ColumnsCase> {};

TEST_P(AlignColumnsTest, PadsEachColumnToItsWidestCell) {
    EXPECT_EQ(RoutingTableDialog::alignColumns(GetParam().listing), GetParam().aligned);
}

INSTANTIATE_TEST_SUITE_P(
    Listings, AlignColumnsTest,
    ::testing::Values(
        // A value wider than its heading widens the whole column, the heading's too.
        ColumnsCase{"WideValue", "Dest\tGw\na\tb\n10.1.0.0/16\tOn-link\n",
                    "Dest         Gw\na            b\n10.1.0.0/16  On-link\n"},
        // A line that is no route stays as it is and does not count for the widths.
        ColumnsCase{"LineWithoutTabs", "A\tB\na line without routes\nxy\tz",
                    "A   B\na line without routes\nxy  z"},
        // A short row ends early; a long one has its last cell unpadded.
        ColumnsCase{"RaggedRows", "a\tb\tc\nd\te", "a  b  c\nd  e"},
        ColumnsCase{"NoTabs", "Routing table\n", "Routing table\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(StatusList, ContextMenuCopiesTheSelectedRowsInOrderAndSavesTheLog) {
    StatusList list;
    EXPECT_EQ(list.contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_EQ(list.actions(), (QList<QAction*>{list.copyAction(), list.saveLogAction()}));
    EXPECT_EQ(list.copyAction()->text(), "Copy");
    EXPECT_EQ(list.saveLogAction()->text(), "Save log as...");
    for (const char* row : {"> zero\r\n", "\r\n", "> two\r\n", "> three\r\n"}) {
        list.appendRow(row);
    }
    // Selected last row first: copied in the list's order all the same.
    list.item(3)->setSelected(true);
    list.item(0)->setSelected(true);
    list.copyAction()->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "> zero\n> three\n");

    // Without a log file the rows shown are saved; with one, the file's saver is asked.
    const QString path = QDir::temp().filePath(
        QStringLiteral("vantor-list-%1.log").arg(QCoreApplication::applicationPid()));
    EXPECT_EQ(list.saveLog(path), std::nullopt);
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "> zero\n\n> two\n> three\n");
    saved.remove();
    std::string askedFor;
    list.setLogSaver([&](const std::string& destination) -> std::optional<std::string> {
        askedFor = destination;
        return "permission denied";
    });
    EXPECT_EQ(list.saveLog(QStringLiteral("/x/v.log")), "permission denied");
    EXPECT_EQ(askedFor, "/x/v.log");
}

}  // namespace
}  // namespace vantor::ui
