// The LibreOffice engine against a real, private office process. One engine
// serves the whole program (starting one takes about a second); the tests of
// starting and ending start their own.

#include "sheet/OfficeEngine.h"
#include "support/PrintQueueOutput.h"
#include "support/ScopedEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

using sheet::Error;
using sheet::OfficeEngine;
using sheet::Table;
using sheet::Value;
using sheet::Workbook;

namespace {

const QString templateXls = QStringLiteral(KVR_TESTDATA_DIR "/sheet/template.xls");

bool processGone(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH &&
           ::kill(-static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH;
}

QString soffice() {
    const QString found = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    return found.isEmpty() ? QStringLiteral("/usr/lib/libreoffice/program/soffice") : found;
}

// A saved workbook's first sheet as the office's flat XML format shows it:
// what the .XLS file holds besides values (heights, widths, merges, borders).
struct SheetLayout {
    struct Cell {
        QString text;
        QString style;
        int columnsSpanned = 1;
        bool covered = false;
    };
    std::map<std::pair<int, int>, Cell> cells; // (row, column) from 1
    std::map<int, QString> rowStyle;
    std::map<int, QString> columnStyle;
    std::map<QString, std::map<QString, QString>> styles; // name -> attribute -> value
    QStringList tableStyles;                              // of every sheet, in order

    const Cell &cell(int row, int column) const {
        static const Cell none;
        const auto it = cells.find({row, column});
        return it == cells.end() ? none : it->second;
    }
    QString styleAttribute(const QString &style, const QString &attribute) const {
        const auto it = styles.find(style);
        if (it == styles.end())
            return {};
        const auto found = it->second.find(attribute);
        return found == it->second.end() ? QString() : found->second;
    }
    static double millimetres(const QString &length) {
        static const QRegularExpression re(QStringLiteral("^([0-9.]+)(cm|mm|in|pt)$"));
        const auto m = re.match(length);
        if (!m.hasMatch())
            return -1;
        const double v = m.captured(1).toDouble();
        const QString unit = m.captured(2);
        return unit == u"cm"   ? v * 10
               : unit == u"in" ? v * 25.4
               : unit == u"pt" ? v * 25.4 / 72
                               : v;
    }
    double rowHeightMm(int row) const {
        return millimetres(
            styleAttribute(rowStyle.count(row) ? rowStyle.at(row) : QString(), "style:row-height"));
    }
    double columnWidthMm(int column) const {
        return millimetres(styleAttribute(
            columnStyle.count(column) ? columnStyle.at(column) : QString(), "style:column-width"));
    }
    // All four edges drawn: either fo:border or each of the four sides.
    bool framed(int row, int column) const {
        const QString style = cell(row, column).style;
        auto drawn = [&](const char *attribute) {
            const QString v = styleAttribute(style, attribute);
            return !v.isEmpty() && v != u"none";
        };
        return drawn("fo:border") || (drawn("fo:border-top") && drawn("fo:border-bottom") &&
                                      drawn("fo:border-left") && drawn("fo:border-right"));
    }
};

// Converts the file with a separate one-shot office (its own profile) and
// reads the first sheet of the result, up to 40 rows and 20 columns.
SheetLayout layoutOf(const QString &file) {
    QTemporaryDir dir;
    QProcess convert;
    convert.setStandardOutputFile(QProcess::nullDevice());
    convert.setStandardErrorFile(QProcess::nullDevice());
    convert.start(soffice(), {QStringLiteral("-env:UserInstallation=") +
                                  QUrl::fromLocalFile(dir.path() + "/profile").toString(),
                              "--headless", "--norestore", "--convert-to", "fods", "--outdir",
                              dir.path(), file});
    EXPECT_TRUE(convert.waitForFinished(120000));
    QFile fods(dir.path() + "/" + QFileInfo(file).completeBaseName() + ".fods");
    EXPECT_TRUE(fods.open(QIODevice::ReadOnly)) << fods.fileName().toStdString();

    SheetLayout layout;
    QXmlStreamReader xml(&fods);
    QString currentStyle;
    int tables = 0, row = 0, column = 0;
    int rowRepeat = 1;
    std::pair<int, int> currentCell{0, 0};
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.qualifiedName() == u"table:table")
            ++tables;
        if (xml.isEndElement() && xml.qualifiedName() == u"table:table-row" && tables == 0) {
            for (int copy = 1; copy < rowRepeat && row < 40; ++copy) {
                ++row;
                layout.rowStyle[row] = layout.rowStyle[row - 1];
                for (int c = 1; c <= 20; ++c)
                    if (layout.cells.count({row - 1, c}))
                        layout.cells[{row, c}] = layout.cells[{row - 1, c}];
            }
        }
        if (!xml.isStartElement())
            continue;
        const auto name = xml.qualifiedName();
        const auto attrs = xml.attributes();
        if (name == u"table:table")
            layout.tableStyles << attrs.value("table:style-name").toString();
        if (name == u"style:style") {
            currentStyle = attrs.value("style:name").toString();
        } else if (name.startsWith(u"style:table-") && name.endsWith(u"-properties")) {
            for (const auto &a : attrs)
                layout.styles[currentStyle][a.qualifiedName().toString()] = a.value().toString();
        } else if (tables > 0) {
            continue; // only the first sheet
        } else if (name == u"table:table-column") {
            const int repeat = std::min(attrs.value("table:number-columns-repeated").toInt(), 40);
            for (int i = 0; i < std::max(repeat, 1); ++i)
                layout.columnStyle[++column] = attrs.value("table:style-name").toString();
        } else if (name == u"table:table-row") {
            ++row;
            column = 0;
            rowRepeat = std::max(attrs.value("table:number-rows-repeated").toInt(), 1);
            layout.rowStyle[row] = attrs.value("table:style-name").toString();
        } else if (name == u"table:table-cell" || name == u"table:covered-table-cell") {
            const int repeat =
                std::max(std::min(attrs.value("table:number-columns-repeated").toInt(), 40), 1);
            SheetLayout::Cell cell;
            cell.style = attrs.value("table:style-name").toString();
            cell.covered = name == u"table:covered-table-cell";
            cell.columnsSpanned = std::max(attrs.value("table:number-columns-spanned").toInt(), 1);
            const int first = column + 1;
            column += repeat;
            for (int c = first; c <= column && row <= 40 && c <= 20; ++c)
                layout.cells[{row, c}] = cell;
            currentCell = {row, first};
        } else if (name == u"text:p" && row <= 40 && currentCell.second <= 20) {
            layout.cells[currentCell].text =
                xml.readElementText(QXmlStreamReader::IncludeChildElements);
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return layout;
}

using testsupport::ScopedEnvironment;

// The socket files of office pipes in /tmp.
QStringList officeSockets() {
    return QDir(QStringLiteral("/tmp"))
        .entryList({QStringLiteral("OSL_PIPE_%1_*").arg(::getuid())}, QDir::System);
}

// A socket file that nothing listens on any more.
bool deadSocket(const QString &name) {
    const QByteArray path = QFile::encodeName(QStringLiteral("/tmp/") + name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= static_cast<int>(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, path.constData(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool refused =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0 &&
        errno == ECONNREFUSED;
    ::close(fd);
    return refused;
}

class OfficeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // No printer, whatever this machine has: the office asks CUPS, and
        // this points CUPS at a server that is not there.
        noPrinter =
            std::make_unique<ScopedEnvironment>("CUPS_SERVER", "/nonexistent/kvr-cups.sock");
        OfficeEngine::Options options;
        options.viewer = [](const QString &path) { // stands for the user's program
            shown << path;
            return viewerWorks;
        };
        engine = std::make_unique<OfficeEngine>(options);
    }
    static void TearDownTestSuite() {
        engine.reset();
        noPrinter.reset();
    }
    void SetUp() override {
        shown.clear();
        viewerWorks = true;
    }

    QString file(const QString &name) const { return dir.filePath(name); }

    static std::unique_ptr<OfficeEngine> engine;
    static std::unique_ptr<ScopedEnvironment> noPrinter;
    static QStringList shown; // what the engine handed to the user's program
    static bool viewerWorks;
    QTemporaryDir dir;
};

std::unique_ptr<OfficeEngine> OfficeTest::engine;
std::unique_ptr<ScopedEnvironment> OfficeTest::noPrinter;
QStringList OfficeTest::shown;
bool OfficeTest::viewerWorks = true;

TEST_F(OfficeTest, CyrillicTemplateIsReadAndValuesSurviveSavingAsXls) {
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Шаблоны")));
    const QString copy = file(QStringLiteral("Шаблоны/Рабочая копия.XLS"));
    ASSERT_TRUE(QFile::copy(templateXls, copy));
    {
        auto book = engine->open(copy);
        EXPECT_EQ(book->text(1, 1), QStringLiteral("Сведения о школе"));
        EXPECT_EQ(book->text(3, 1), QStringLiteral("#CCC"));
        EXPECT_EQ(book->value(3, 4), Value::number(5));
        EXPECT_EQ(book->value(3, 5), Value::number(10)); // a formula reads as its result
        EXPECT_TRUE(book->value(30, 30).isEmpty());

        book->setText(1, 1, QStringLiteral("Школа № 5 «Ёлочка»"));
        book->setNumber(5, 1, 2.5);
        book->assign(5, 2, QStringLiteral("12 ")); // a value with its blank stays a number
        book->assign(5, 3, QStringLiteral("0123"));
        book->assign(5, 4, QStringLiteral("3,75"));
        book->setText(5, 5, QStringLiteral("45"));
        book->assign(5, 6, QStringLiteral("=D3"));
        book->setNumber(3, 4, 7);       // the formula follows
        book->setText(3, 1, QString()); // emptied
        book->saveAs(copy);
    }
    auto again = engine->open(copy);
    EXPECT_EQ(again->text(1, 1), QStringLiteral("Школа № 5 «Ёлочка»"));
    EXPECT_EQ(again->value(5, 1), Value::number(2.5));
    EXPECT_EQ(again->value(5, 2), Value::number(12));
    EXPECT_EQ(again->value(5, 3), Value::text("0123"));
    EXPECT_EQ(again->value(5, 4), Value::number(3.75));
    EXPECT_EQ(again->value(5, 5), Value::text("45"));
    EXPECT_EQ(again->value(5, 6), Value::text("=D3")); // a text, never a formula
    EXPECT_EQ(again->value(3, 5), Value::number(14));
    EXPECT_TRUE(again->value(3, 1).isEmpty());
}

TEST_F(OfficeTest, BlocksAreWrittenAndReadInOneGo) {
    auto book = engine->addWorkbook();
    book->setText(2, 3, QStringLiteral("будет стёрто"));
    const Table block = {
        {Value::text("Наименование"), Value::number(1), Value()},
        {Value::number(-0.5), Value(), Value::text("0")},
    };
    book->setValues(2, 2, block);
    EXPECT_EQ(book->values(2, 2, 2, 3), block);
    EXPECT_TRUE(book->value(2, 4).isEmpty()); // the empty value cleared the old text
    EXPECT_EQ(book->text(3, 2), QStringLiteral("-0.5"));
    EXPECT_EQ(book->values(1, 1, 1, 1), (Table{{Value()}}));
    EXPECT_TRUE(book->values(1, 1, 0, 5).empty());
    EXPECT_THROW(book->setValues(1, 1, {{Value()}, {Value(), Value()}}), Error);
    EXPECT_THROW(book->value(0, 1), Error);
}

TEST_F(OfficeTest, InsertedRowCopiesKeepLayoutAndFormulasFollow) {
    const QString copy = file(QStringLiteral("BTEMP.XLS"));
    ASSERT_TRUE(QFile::copy(templateXls, copy));
    {
        auto book = engine->open(copy);
        book->insertRowCopy(3);
        book->insertRowCopy(3);
        // The row stands three times, the total row has moved to row 6 and
        // sums the grown range.
        for (int row = 3; row <= 5; ++row) {
            EXPECT_EQ(book->text(row, 1), QStringLiteral("#CCC")) << row;
            EXPECT_EQ(book->text(row, 2), QStringLiteral("Строка шаблона")) << row;
        }
        EXPECT_EQ(book->text(6, 1), QStringLiteral("Итого"));
        EXPECT_EQ(book->value(6, 4), Value::number(15));
        book->setNumber(3, 4, 1);
        book->setNumber(4, 4, 2);
        EXPECT_EQ(book->value(3, 5), Value::number(2)); // each copy doubles its own row
        EXPECT_EQ(book->value(4, 5), Value::number(4));
        EXPECT_EQ(book->value(5, 5), Value::number(10));
        EXPECT_EQ(book->value(6, 4), Value::number(8));

        book->drawBorders(8, 2);
        book->drawBorders(10, 3, 11, 4);
        book->setText(12, 7, QStringLiteral("Очень длинное название организации для столбца"));
        book->setText(12, 8, QStringLiteral("Кратко"));
        book->setText(30, 8, QStringLiteral("Очень длинный текст ниже подбираемого диапазона"));
        book->fitColumns(1, 7, 12, 9);
        book->saveAs(copy);
    }
    const SheetLayout layout = layoutOf(copy);
    const double templateRow = layout.rowHeightMm(6 + 1); // an untouched row below
    for (int row = 3; row <= 5; ++row) {
        EXPECT_NEAR(layout.rowHeightMm(row), 15, 0.5) << row;
        EXPECT_EQ(layout.cell(row, 2).columnsSpanned, 2) << row;
        EXPECT_TRUE(layout.cell(row, 3).covered) << row;
        for (int column = 1; column <= 5; ++column)
            EXPECT_TRUE(layout.framed(row, column)) << row << "," << column;
        EXPECT_FALSE(layout.framed(row, 6)) << row;
    }
    EXPECT_LT(templateRow, 10);
    EXPECT_NEAR(layout.rowHeightMm(6), 5, 0.5); // the total row keeps its own height
    EXPECT_FALSE(layout.framed(6, 4));

    EXPECT_TRUE(layout.framed(8, 2));
    EXPECT_FALSE(layout.framed(8, 3));
    for (int row = 10; row <= 11; ++row)
        for (int column = 3; column <= 4; ++column)
            EXPECT_TRUE(layout.framed(row, column)) << row << "," << column;
    EXPECT_FALSE(layout.framed(9, 3));
    EXPECT_FALSE(layout.framed(10, 5));

    // Column G fits its long text; H fits only the short text inside the
    // range, not the long one below it; I, empty in the range, keeps 2 cm.
    EXPECT_GT(layout.columnWidthMm(7), 40);
    EXPECT_LT(layout.columnWidthMm(8), 20);
    EXPECT_NEAR(layout.columnWidthMm(9), 20, 0.5);
}

TEST_F(OfficeTest, PdfHoldsTheFirstSheetOnly) {
    auto book = engine->open(templateXls);
    book->setText(5, 1, QStringLiteral("Гимназия № 1"));
    const QString pdf = file(QStringLiteral("Отчёт.pdf"));
    book->exportPdf(pdf);
    const QString text = testsupport::readPdf(pdf).text;
    EXPECT_TRUE(text.contains(QStringLiteral("Сведения о школе"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Гимназия № 1")));
    EXPECT_FALSE(text.contains(QStringLiteral("ВТОРОЙ ЛИСТ")));

    // The other sheets are shown again afterwards.
    const QString saved = file(QStringLiteral("после.xls"));
    book->saveAs(saved);
    const SheetLayout layout = layoutOf(saved);
    ASSERT_EQ(layout.tableStyles.size(), 2);
    EXPECT_NE(layout.styleAttribute(layout.tableStyles[1], "table:display"), u"false");
}

TEST_F(OfficeTest, PageSetupIsSavedAndPrintedAsSet) {
    using Paper = sheet::PageSetup::Paper;
    using Fit = sheet::PageSetup::Fit;
    // A new workbook as the office makes it: portrait A4 at its own size,
    // with the running header and footer.
    EXPECT_EQ(engine->addWorkbook()->pageSetup(),
              (sheet::PageSetup{Paper::A4, false, Fit::None, true}));
    const struct {
        sheet::PageSetup setup;
        QSize points; // of the printed page
    } cases[] = {
        {{Paper::A4, true, Fit::Width, false}, {842, 595}},
        {{Paper::A3, true, Fit::Page, false}, {1191, 842}},
        {{Paper::A3, false, Fit::None, true}, {842, 1191}},
        {{Paper::A4, false, Fit::None, false}, {595, 842}},
        {{Paper::A4, true, Fit::Width, false, 1, 2}, {842, 595}}, // rows 1 and 2 on every page
    };
    for (const auto &c : cases) {
        auto book = engine->addWorkbook();
        // 30 columns and 300 rows of long texts: several pages across and
        // down at their own size, several down when fitted to the width.
        Table cells(300);
        for (int row = 1; row <= 300; ++row)
            for (int column = 1; column <= 30; ++column)
                cells[row - 1].push_back(
                    Value::text(QStringLiteral("Показатель %1, %2").arg(row).arg(column)));
        book->setValues(1, 1, cells);
        book->fitColumns(1, 1, 300, 30);
        book->setPageSetup({Paper::A3, true, Fit::Page, true}); // then set again
        book->setPageSetup(c.setup);
        const QString xls = file(QStringLiteral("страница.xls"));
        book->saveAs(xls);
        book->close();
        auto again = engine->open(xls);
        EXPECT_EQ(again->pageSetup(), c.setup) << c.points.width();
        const QString pdf = file(QStringLiteral("страница.pdf"));
        again->exportPdf(pdf);
        const testsupport::PrintedPdf printed = testsupport::readPdf(pdf);
        EXPECT_EQ(printed.pageSize, c.points);
        EXPECT_EQ(printed.pages == 1, c.setup.fit == Fit::Page) << printed.pages;
        const QString &text = printed.text;
        // The last column on the first page, with the first.
        const QString first = text.section(u'\f', 0, 0);
        EXPECT_TRUE(first.contains(QStringLiteral("Показатель 1, 1")));
        EXPECT_EQ(first.contains(QStringLiteral("Показатель 1, 30")), c.setup.fit != Fit::None);
        EXPECT_EQ(text.contains(QStringLiteral("Sheet1")), c.setup.headerAndFooter);
        EXPECT_EQ(text.contains(QStringLiteral("Page 1")), c.setup.headerAndFooter);
        // The title rows head every page; without them only the first.
        const QStringList pages = text.split(u'\f', Qt::SkipEmptyParts);
        const QRegularExpression secondRow(QStringLiteral("Показатель 2, \\d+"));
        int headed = 0;
        for (const QString &page : pages)
            headed += secondRow.match(page).hasMatch() ? 1 : 0;
        EXPECT_EQ(pages.size(), printed.pages);
        if (c.setup.titleLastRow) {
            EXPECT_EQ(headed, printed.pages);
        } else if (printed.pages > 1) {
            EXPECT_LT(headed, printed.pages);
        }
    }
}

// Figures keep the decimals they are formatted with, and every digit of
// them stands on the page in a column too narrow for them at their size.
TEST_F(OfficeTest, FiguresShowTheirDecimalsAndEveryDigitInNarrowColumns) {
    auto book = engine->addWorkbook();
    book->setValues(
        1, 1,
        Table{{Value::number(1), Value::number(2), Value::number(3)},
              {Value::number(9999999999.0), Value::number(999999999.99), Value::number(5)}});
    book->fitColumns(1, 1, 1, 3); // as narrow as the digits 1, 2 and 3
    book->formatFigures(2, 1, 2, 1, 0);
    book->formatFigures(2, 2, 2, 3, 2);
    const QString xls = file(QStringLiteral("цифры.xls"));
    book->saveAs(xls);
    const SheetLayout layout = layoutOf(xls);
    EXPECT_EQ(layout.cell(2, 1).text, QStringLiteral("9999999999"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^999999999[.,]99$"))
                    .match(layout.cell(2, 2).text)
                    .hasMatch())
        << layout.cell(2, 2).text.toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^5[.,]00$")).match(layout.cell(2, 3).text).hasMatch())
        << layout.cell(2, 3).text.toStdString();
    for (int column : {1, 2, 3})
        EXPECT_EQ(layout.styleAttribute(layout.cell(2, column).style, "style:shrink-to-fit"),
                  u"true")
            << column;
    EXPECT_LT(layout.columnWidthMm(1), 10); // the column kept its width
    const QString pdf = file(QStringLiteral("цифры.pdf"));
    engine->open(xls)->exportPdf(pdf);
    const QString words = testsupport::readPdf(pdf).text.simplified();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("9999999999 999999999[.,]99 5[.,]00"))
                    .match(words)
                    .hasMatch())
        << words.toStdString();
    EXPECT_THROW(book->formatFigures(1, 1, 1, 1, -1), Error);
}

TEST_F(OfficeTest, TextLayoutsAndMergedCellsAreSavedAndFitted) {
    using Layout = Workbook::TextLayout;
    const Value heading = Value::text(QStringLiteral("Общеобразовательное учреждение района"));
    auto book = engine->addWorkbook();
    book->setValues(1, 1,
                    Table{{heading, heading, heading, heading, Value(), Value()},
                          std::vector<Value>(6, Value::number(12))});
    book->setTextLayout(1, 1, 1, 1, Layout::Wrapped);
    book->setTextLayout(1, 2, 1, 3, Layout::Upwards);
    book->setTextLayout(1, 3, 1, 3, Layout::Line);
    book->mergeCells(1, 4, 1, 6);
    book->fitColumns(1, 2, 2, 4);
    const QString xls = file(QStringLiteral("заголовки.xls"));
    book->saveAs(xls);
    const SheetLayout layout = layoutOf(xls);
    EXPECT_EQ(layout.styleAttribute(layout.cell(1, 1).style, "fo:wrap-option"), u"wrap");
    EXPECT_EQ(layout.styleAttribute(layout.cell(1, 2).style, "style:rotation-angle"), u"90");
    EXPECT_EQ(layout.styleAttribute(layout.cell(1, 2).style, "style:shrink-to-fit"), u"true");
    EXPECT_NE(layout.styleAttribute(layout.cell(1, 3).style, "style:rotation-angle"), u"90");
    EXPECT_EQ(layout.cell(1, 4).columnsSpanned, 3);
    EXPECT_TRUE(layout.cell(1, 5).covered);
    // Fitted: the upward heading to the figure below it, the line to its
    // text, the merged cell passed over.
    EXPECT_LT(layout.columnWidthMm(2), 12);
    EXPECT_GT(layout.columnWidthMm(3), 50);
    EXPECT_LT(layout.columnWidthMm(4), 12);
}

TEST_F(OfficeTest, CellsFormattedAsTextKeepNumbersAsText) {
    const QString xls = file(QStringLiteral("коды.xls"));
    {
        auto book = engine->addWorkbook();
        book->formatAsText(2, 1, 3, 1);
        book->setValues(1, 1,
                        Table{{Value::number(10)}, {Value::number(10)}, {Value::fromInput("11")}});
        EXPECT_EQ(book->value(1, 1), Value::number(10)); // not formatted
        EXPECT_EQ(book->value(2, 1), Value::text("10"));
        EXPECT_EQ(book->value(3, 1), Value::text("11"));
        book->setText(2, 1, QStringLiteral("#CCC"));
        book->saveAs(xls);
    }
    // The format is saved with the template and holds for a copied row.
    auto again = engine->open(xls);
    again->insertRowCopy(2);
    again->setValues(2, 1, Table{{Value::number(12)}, {Value::number(13)}, {Value::number(14)}});
    EXPECT_EQ(again->values(1, 1, 5, 1), (Table{{Value::number(10)},
                                                {Value::text("12")},
                                                {Value::text("13")},
                                                {Value::text("14")},
                                                {Value()}}));
}

TEST_F(OfficeTest, PrintingWithoutAPrinterFails) {
    auto book = engine->open(templateXls);
    book->setText(5, 1, QStringLiteral("не напечатается"));
    try {
        book->print(QStringLiteral("Сведения о школе"));
        ADD_FAILURE() << "printed without a printer";
    } catch (const Error &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Принтер по умолчанию не установлен"));
    }
    // The workbook is still usable after the failed print.
    EXPECT_EQ(book->text(5, 1), QStringLiteral("не напечатается"));
}

TEST_F(OfficeTest, LockFileBesideTheWorkingCopyDoesNotStopIt) {
    // Left by an office that was ended by force, or held by the user's own
    // office that still shows the previous working copy.
    const QString copy = file(QStringLiteral("BTEMP.XLS"));
    ASSERT_TRUE(QFile::copy(templateXls, copy));
    QFile lock(file(QStringLiteral(".~lock.BTEMP.XLS#")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(",user,otherhost,07.12.2026 08:00,file:///home/user/.config/libreoffice/4;");
    lock.close();
    {
        auto book = engine->open(copy);
        book->setText(1, 1, QStringLiteral("Школа"));
        book->saveAs(copy);
    }
    EXPECT_EQ(engine->open(copy)->text(1, 1), QStringLiteral("Школа"));
}

// The office puts no lock file of its own beside a workbook it has open:
// one that it is ended with (a crash, a kill) would stay there.
TEST_F(OfficeTest, NoLockFileStandsBesideAnOpenWorkbook) {
    const QString copy = file(QStringLiteral("BTEMP-1-AbCdEf.XLS"));
    ASSERT_TRUE(QFile::copy(templateXls, copy));
    auto book = engine->open(copy);
    book->setText(1, 1, QStringLiteral("Школа"));
    book->saveAs(file(QStringLiteral("Сохранённая.xls")));
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
        (QStringList{QStringLiteral("BTEMP-1-AbCdEf.XLS"), QStringLiteral("Сохранённая.xls")}));
}

TEST_F(OfficeTest, BrokenPipeDoesNotEndTheProgram) {
    // The office's runtime writes to its pipe without suppressing SIGPIPE;
    // with an engine running, a write to a pipe whose reader has gone (an
    // office that died during a call) fails instead of ending this program.
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ::close(ends[1]);
    errno = 0;
    EXPECT_EQ(::send(ends[0], "x", 1, 0), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(ends[0]);
}

TEST_F(OfficeTest, ClosedWorkbookRefusesWork) {
    auto book = engine->addWorkbook();
    book->close();
    book->close();
    EXPECT_THROW(book->setText(1, 1, "x"), Error);
    EXPECT_THROW(book->saveAs(file("x.xls")), Error);
}

TEST_F(OfficeTest, MissingFileFailsToOpen) {
    EXPECT_THROW(engine->open(file(QStringLiteral("нет такого.xls"))), Error);
    auto book = engine->addWorkbook(); // the engine goes on working
    book->setNumber(1, 1, 1);
    EXPECT_EQ(book->value(1, 1), Value::number(1));
}

TEST_F(OfficeTest, UnsavedWorkbookCannotBeShown) {
    auto book = engine->addWorkbook();
    EXPECT_THROW(book->showToUser(), Error);
    EXPECT_TRUE(shown.isEmpty());
}

TEST_F(OfficeTest, ShowingSavesClosesAndHandsTheFileOver) {
    const QString copy = file(QStringLiteral("Список.XLS"));
    ASSERT_TRUE(QFile::copy(templateXls, copy));
    auto book = engine->open(copy);
    book->setText(4, 1, QStringLiteral("на 01.09.2015"));
    EXPECT_TRUE(book->showToUser());
    ASSERT_EQ(shown, QStringList{QFileInfo(copy).absoluteFilePath()});
    EXPECT_THROW(book->text(4, 1), Error); // closed here; the user's program has it now
    EXPECT_EQ(engine->open(copy)->text(4, 1), QStringLiteral("на 01.09.2015"));
}

TEST_F(OfficeTest, NoProgramToShowTheFileIsReported) {
    auto book = engine->addWorkbook();
    book->saveAs(file("a.xls"));
    viewerWorks = false;
    EXPECT_FALSE(book->showToUser());
    EXPECT_EQ(shown, QStringList{QFileInfo(file("a.xls")).absoluteFilePath()});
    EXPECT_TRUE(QFileInfo::exists(file("a.xls"))); // saved for the user all the same
    EXPECT_THROW(book->text(1, 1), Error);
}

TEST_F(OfficeTest, RowCopiesReachEveryUsedColumnAndComeManyAtOnce) {
    auto book = engine->addWorkbook();
    book->setValues(3, 1, Table{{Value::text("#CCC"), Value::number(7)}});
    book->setText(3, 300, QStringLiteral("далеко справа")); // beyond an .XLS sheet's width
    book->setText(4, 1, QStringLiteral("Итого"));
    book->insertRowCopy(3);
    EXPECT_EQ(book->text(3, 300), QStringLiteral("далеко справа"));
    book->insertRowCopies(3, 5);
    for (int row = 3; row <= 9; ++row) {
        EXPECT_EQ(book->text(row, 1), QStringLiteral("#CCC")) << row;
        EXPECT_EQ(book->value(row, 2), Value::number(7)) << row;
        EXPECT_EQ(book->text(row, 300), QStringLiteral("далеко справа")) << row;
    }
    EXPECT_EQ(book->text(10, 1), QStringLiteral("Итого"));
}

// A sheet whose cells A2:A3 are merged into one, written in the office's
// flat format.
QString writeVerticallyMerged(const QString &path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
  xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
  xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2"
  office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet><table:table table:name="Лист1">
  <table:table-row><table:table-cell><text:p>Заголовок</text:p></table:table-cell></table:table-row>
  <table:table-row><table:table-cell table:number-rows-spanned="2"><text:p>Раздел</text:p></table:table-cell>
   <table:table-cell><text:p>#CCC</text:p></table:table-cell></table:table-row>
  <table:table-row><table:covered-table-cell/><table:table-cell><text:p>#CCC</text:p></table:table-cell></table:table-row>
 </table:table></office:spreadsheet></office:body>
</office:document>
)");
    return path;
}

TEST_F(OfficeTest, RowInsideAVerticalMergeIsRefused) {
    auto book = engine->open(writeVerticallyMerged(file(QStringLiteral("объединение.fods"))));
    for (int row : {2, 3}) {
        try {
            book->insertRowCopy(row);
            ADD_FAILURE() << "row " << row << " copied";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("объединённые")))
                << e.message().toStdString();
        }
    }
    EXPECT_EQ(book->text(3, 2), QStringLiteral("#CCC")); // nothing moved
    EXPECT_TRUE(book->value(4, 2).isEmpty());
    book->insertRowCopy(1); // a row outside the merge is copied
    EXPECT_EQ(book->text(2, 1), QStringLiteral("Заголовок"));
}

TEST_F(OfficeTest, DamagedOrForeignFilesAreRefusedByName) {
    QFile original(templateXls);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray xls = original.readAll();
    QByteArray noise(4096, 0);
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    const QList<QPair<QString, QByteArray>> files = {
        {QStringLiteral("шум.xls"), noise},
        {QStringLiteral("обрезанный.XLS"), xls.left(xls.size() / 3)},
        {QStringLiteral("письмо.xls"),
         QStringLiteral("Уважаемые коллеги;\nпросим сдать отчёт.\n").toUtf8()},
    };
    for (const auto &[name, bytes] : files) {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        try {
            engine->open(f.fileName());
            ADD_FAILURE() << name.toStdString() << " opened";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(f.fileName())) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("не удаётся прочитать")));
        }
    }
    EXPECT_EQ(engine->open(templateXls)->text(1, 1), QStringLiteral("Сведения о школе"));
}

TEST_F(OfficeTest, SavingIntoAMissingFolderSaysSo) {
    auto book = engine->addWorkbook();
    const QString path = file(QStringLiteral("нет папки/книга.xls"));
    try {
        book->saveAs(path);
        ADD_FAILURE() << "saved";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(file(QStringLiteral("нет папки"))))
            << e.message().toStdString();
    }
}

TEST(OfficeEngineLifetime, HungOfficeIsEndedAndTheCallFails) {
    OfficeEngine::Options options;
    options.callTimeoutMs = 1500;
    OfficeEngine engine(options);
    const qint64 pid = engine.processId();
    auto book = engine.addWorkbook();
    book->setText(1, 1, "x");
    ::kill(-static_cast<pid_t>(pid), SIGSTOP); // the office answers nothing from now on
    try {
        book->setText(1, 1, "y");
        ADD_FAILURE() << "a hung office answered";
    } catch (const sheet::TimeoutError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("не ответил")))
            << e.message().toStdString();
    }
    EXPECT_FALSE(engine.isRunning());
    EXPECT_THROW(book->text(1, 1), Error);
    EXPECT_THROW(engine.addWorkbook(), Error);
    engine.quit();
    EXPECT_TRUE(processGone(pid));
}

// An office that hangs while it closes a workbook (a print that is done) is
// ended like one that hangs in any other call: the engine no longer runs, so
// that the next print starts an office of its own instead of failing on
// this one.
TEST(OfficeEngineLifetime, OfficeThatHangsWhileClosingIsEndedAndRunsNoMore) {
    OfficeEngine::Options options;
    options.callTimeoutMs = 3000;
    OfficeEngine engine(options);
    const qint64 pid = engine.processId();
    auto book = engine.addWorkbook();
    book->setText(1, 1, "x");
    ::kill(-static_cast<pid_t>(pid), SIGSTOP);
    book->close(); // returns once the office has been ended
    EXPECT_FALSE(engine.isRunning());
    EXPECT_THROW(engine.addWorkbook(), sheet::TimeoutError);
    engine.quit();
    EXPECT_TRUE(processGone(pid));
}

TEST(OfficeEngineLifetime, LeftoversOfADeadProgramAreRemovedAtTheNextStart) {
    QTemporaryDir dir;
    QProcess gone; // a process id that no program has any more
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForFinished());
    const qint64 dead = gone.processId() > 0 ? gone.processId() : 999999;
    const QString deadProfile = dir.filePath(QStringLiteral("kvr-office-%1-AbCdEf").arg(dead));
    const QString liveProfile = dir.filePath(QStringLiteral("kvr-office-1-AbCdEf"));
    ASSERT_TRUE(QDir().mkpath(deadProfile + QStringLiteral("/user")));
    ASSERT_TRUE(QDir().mkpath(liveProfile));
    const QString socket =
        QStringLiteral("/tmp/OSL_PIPE_%1_kvr_sheet_%2_0_abc").arg(::getuid()).arg(dead);
    QFile s(socket);
    ASSERT_TRUE(s.open(QIODevice::WriteOnly));
    s.close();
    {
        ScopedEnvironment temporary("TMPDIR", QFile::encodeName(dir.path()));
        OfficeEngine engine;
        engine.quit();
    }
    EXPECT_FALSE(QFileInfo::exists(deadProfile));
    EXPECT_FALSE(QFileInfo::exists(socket));
    EXPECT_TRUE(QFileInfo::exists(liveProfile)); // its program (pid 1) runs
}

TEST(OfficeEngineLifetime, ProcessEndsAfterAFailedOpenAndWithWorkbooksLeftOpen) {
    QTemporaryDir dir;
    qint64 pid = 0;
    std::unique_ptr<Workbook> leftOpen;
    {
        OfficeEngine engine;
        pid = engine.processId();
        ASSERT_GT(pid, 0);
        EXPECT_THROW(engine.open(dir.filePath("missing.xls")), Error);
        // A document that is no workbook: the office either has no text
        // module to read it or opens it as a text document.
        QFile text(dir.filePath("letter.fodt"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
  xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2"
  office:mimetype="application/vnd.oasis.opendocument.text">
 <office:body><office:text><text:p>Письмо</text:p></office:text></office:body>
</office:document>
)");
        text.close();
        EXPECT_THROW(engine.open(text.fileName()), Error);
        leftOpen = engine.addWorkbook();
        leftOpen->setText(1, 1, "x");
    }
    EXPECT_TRUE(processGone(pid));
    EXPECT_THROW(leftOpen->text(1, 1), Error);
    leftOpen.reset(); // closing after the engine has gone is harmless
}

TEST(OfficeEngineLifetime, QuitEndsTheProcessAndLaterCallsFail) {
    OfficeEngine engine;
    const qint64 pid = engine.processId();
    auto book = engine.addWorkbook();
    engine.quit();
    EXPECT_EQ(engine.processId(), 0);
    EXPECT_TRUE(processGone(pid));
    EXPECT_THROW(engine.addWorkbook(), Error);
    EXPECT_THROW(book->setNumber(1, 1, 1), Error);
    engine.quit();
}

TEST(OfficeEngineLifetime, OfficeThatCannotStartIsReported) {
    OfficeEngine::Options options;
    QTemporaryDir dir;
    // A program that cannot be run says why, in Russian: no such file, no
    // permission to run it (the same for root), a folder.
    const QString notExecutable = dir.filePath("office.txt");
    QFile text(notExecutable);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("#!/bin/sh\n");
    text.close();
    ASSERT_TRUE(text.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    const struct {
        QString program;
        const char *reason;
    } cannotRun[] = {
        {QStringLiteral("/nonexistent/soffice"), "нет такого файла или папки"},
        {notExecutable, "отказано в доступе"},
        {dir.path(), "отказано в доступе"},
    };
    for (const auto &c : cannotRun) {
        options.officeProgram = c.program;
        QString message = QStringLiteral("nothing thrown");
        try {
            OfficeEngine engine(options);
        } catch (const Error &e) {
            message = e.message();
        }
        EXPECT_EQ(message, QStringLiteral("Не удалось запустить табличный процессор (%1): %2")
                               .arg(c.program, QString::fromUtf8(c.reason)));
    }

    // A program that starts but never accepts: the wait ends and the
    // process is ended with it.
    const QString script = dir.filePath("office");
    const QString pidFile = dir.filePath("pid");
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\necho $$ > '%1'\nexec sleep 600\n").arg(pidFile).toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    options.officeProgram = script;
    options.connectTimeoutMs = 2000; // time enough for the shell to write its pid under load
    EXPECT_THROW(OfficeEngine{options}, Error);
    QFile written(pidFile);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const qint64 pid = written.readAll().trimmed().toLongLong();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(processGone(pid));
}

TEST(OfficeEngineLifetime, OfficeThatDiesIsReportedNotFatalAndLeavesNoFiles) {
    QTemporaryDir dir; // the engine's profile goes here
    ASSERT_TRUE(dir.isValid());
    const QStringList socketsBefore = officeSockets();
    QStringList sockets; // made while the engine started
    {
        std::unique_ptr<OfficeEngine> engine;
        {
            ScopedEnvironment temporary("TMPDIR", QFile::encodeName(dir.path()));
            engine = std::make_unique<OfficeEngine>();
        }
        ASSERT_FALSE(QDir(dir.path()).isEmpty());
        for (const QString &name : officeSockets())
            if (!socketsBefore.contains(name))
                sockets << name;
        EXPECT_GE(sockets.size(), 2); // the engine's pipe and the profile's
        auto book = engine->addWorkbook();
        book->setText(1, 1, "x");
        ::kill(-static_cast<pid_t>(engine->processId()), SIGKILL);
        // Said as it is, and by what was printed, not by the files the
        // print goes through.
        try {
            book->print(QStringLiteral("Форма F1 — Школа № 1"));
            ADD_FAILURE() << "printed on an ended office";
        } catch (const sheet::EndedError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Не удалось подготовить к печати \"Форма F1 — "
                                                  "Школа № 1\": Табличный процессор завершил "
                                                  "работу"));
        }
        EXPECT_FALSE(engine->isRunning());
        try {
            book->setText(1, 1, "y");
            ADD_FAILURE() << "an ended office answered";
        } catch (const sheet::EndedError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Табличный процессор завершил работу"));
        }
        EXPECT_THROW(book->text(1, 1), sheet::EndedError);
        EXPECT_THROW(engine->addWorkbook(), sheet::EndedError);
    }
    // The profile and the office's own temporary files are gone.
    const QStringList left =
        QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    EXPECT_TRUE(left.isEmpty()) << left.join(u' ').toStdString();
    // So are the socket files of the office's pipes (others' offices may
    // have made sockets meanwhile: only dead ones count).
    for (const QString &name : sockets)
        EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/tmp/") + name) && deadSocket(name))
            << name.toStdString();
}

class LocaleTest : public ::testing::TestWithParam<const char *> {};

TEST_P(LocaleTest, CyrillicPathsWork) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Шаблоны")));
    const QString copy = dir.filePath(QStringLiteral("Шаблоны/Рабочая копия.XLS"));
    ASSERT_TRUE(QFile::copy(templateXls, copy));
    std::unique_ptr<OfficeEngine> engine;
    {
        ScopedEnvironment locale("LC_ALL", GetParam()); // what the office inherits
        engine = std::make_unique<OfficeEngine>();
    }
    auto book = engine->open(copy);
    EXPECT_EQ(book->text(1, 1), QStringLiteral("Сведения о школе"));
    book->setText(1, 1, QStringLiteral("Ёлочка"));
    const QString saved = dir.filePath(QStringLiteral("Шаблоны/Сохранённая.XLS"));
    book->saveAs(saved);
    book->exportPdf(dir.filePath(QStringLiteral("Шаблоны/Отчёт.pdf")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("Шаблоны/Отчёт.pdf"))));
    EXPECT_EQ(engine->open(saved)->text(1, 1), QStringLiteral("Ёлочка"));
}

INSTANTIATE_TEST_SUITE_P(OfficeEngineLifetime, LocaleTest,
                         ::testing::Values("C", "ru_RU.CP1251", "ru_RU.UTF-8"));

// Not run by itself: the child program of the test below, which starts an
// engine and ends without any cleanup, as a crash would.
TEST(OfficeEngineLifetime, DISABLED_ChildThatDiesWithAnEngine) {
    const QString pidFile = qEnvironmentVariable("KVR_SHEET_PID_FILE");
    if (pidFile.isEmpty())
        GTEST_SKIP();
    auto *engine = new OfficeEngine; // never ended
    QFile f(pidFile);
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray::number(engine->processId()));
    f.close();
    std::_Exit(3);
}

TEST(OfficeEngineLifetime, OfficeEndsWithAProgramThatDies) {
    QTemporaryDir dir;
    const QString pidFile = dir.filePath("office.pid");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KVR_SHEET_PID_FILE", pidFile);
    environment.insert("TMPDIR", dir.path()); // its office profile goes here
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests",
                 "--gtest_filter=OfficeEngineLifetime.DISABLED_ChildThatDiesWithAnEngine"});
    const qint64 childPid = child.processId();
    ASSERT_TRUE(child.waitForFinished(180000));
    EXPECT_EQ(child.exitCode(), 3);
    QFile f(pidFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const pid_t office = static_cast<pid_t>(f.readAll().toLongLong());
    ASSERT_GT(office, 0);

    // The system ends the office with its parent: wait for its end (a
    // process that has ended but is not yet reaped counts as ended).
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, office, 0));
    if (fd >= 0) {
        pollfd wait{fd, POLLIN, 0};
        EXPECT_EQ(::poll(&wait, 1, 30000), 1);
        ::close(fd);
    } else {
        EXPECT_EQ(errno, ESRCH);
    }
    for (const QString &pipe :
         QDir(QStringLiteral("/tmp"))
             .entryList(
                 {QStringLiteral("OSL_PIPE_%1_kvr_sheet_%2_*").arg(::getuid()).arg(childPid)},
                 QDir::System))
        QFile::remove(QStringLiteral("/tmp/") + pipe);
}

} // namespace

// The office's runtime keeps the type descriptions and the C++ bridge's
// proxies' type data it builds in process-wide caches that are never freed.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:typelib_\n"
           "leak:libgcc3_uno.so\n";
}
