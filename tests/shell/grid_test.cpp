#include "shell/MultilineGrid_Old.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QSignalSpy>
#include <QStandardItemModel>

#include <gtest/gtest.h>

namespace {

// A font that is the same on every machine: DejaVu Sans from its file, at a
// fixed pixel size near the usual 8-point dialog font.
QFont fixedFont(int pixelSize = 11) {
    static const QString family = [] {
        const int id =
            QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    EXPECT_FALSE(family.isEmpty()) << "DejaVu Sans (fonts-dejavu-core) is needed";
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

int advance(const QFontMetrics &fm, const QString &s) {
    return fm.horizontalAdvance(s);
}

// ---------------------------------------------------------------- wrapping

TEST(WrapCaptionLines, OneWordPerLineDropsTheClosingBlanks) {
    const QFontMetrics fm(fixedFont());
    const QString first = QStringLiteral("Количество "), second = QStringLiteral("столбцов "),
                  third = QStringLiteral("цифр");
    // Wide enough for each word alone, too narrow for any two of them.
    const int width = std::max({advance(fm, first), advance(fm, second), advance(fm, third)});
    ASSERT_GT(advance(fm, first + second), width);
    ASSERT_GT(advance(fm, second + third), width);

    const QStringList lines = WrapCaptionLines(fm, width, first + second + third);
    EXPECT_EQ(lines, (QStringList{"Количество", "столбцов", "цифр"}));
}

TEST(WrapCaptionLines, DelimitersStayWithTheWordTheyClose) {
    const QFontMetrics fm(fixedFont());
    const QString caption = QStringLiteral("N 1-го цифров столбца");
    // Width 0: every word on a line of its own, which shows the five words.
    EXPECT_EQ(WrapCaptionLines(fm, 0, caption),
              (QStringList{"N", "1-", "го", "цифров", "столбца"}));
    // Wide enough for everything: one line, unchanged.
    EXPECT_EQ(WrapCaptionLines(fm, advance(fm, caption), caption), QStringList{caption});
    // Room for the first four words exactly.
    const int width = advance(fm, QStringLiteral("N 1-го цифров "));
    EXPECT_EQ(WrapCaptionLines(fm, width, caption), (QStringList{"N 1-го цифров", "столбца"}));
}

TEST(WrapCaptionLines, EmptyCaptionAndCaptionWithoutDelimiter) {
    const QFontMetrics fm(fixedFont());
    EXPECT_EQ(WrapCaptionLines(fm, 50, QString()), QStringList{QString()});
    EXPECT_EQ(WrapCaptionLines(fm, 0, QString()), QStringList{QString()});
    // Far wider than the column: still one line, never split inside the word.
    const QString word = QStringLiteral("Наименованиепоказателя");
    EXPECT_EQ(WrapCaptionLines(fm, 10, word), QStringList{word});
}

TEST(WrapCaptionLines, AllEighteenDelimitersCloseWords) {
    const QFontMetrics fm(fixedFont());
    const QString delimiters = QStringLiteral(" ,.<>:;-*/+\"'$#()=");
    ASSERT_EQ(delimiters.size(), 18);
    QString caption;
    for (QChar d : delimiters)
        caption += QStringLiteral("a") + d;
    const QStringList lines = WrapCaptionLines(fm, 0, caption);
    // 18 closed words and the empty word after the last character.
    ASSERT_EQ(lines.size(), 19);
    EXPECT_EQ(lines[0], "a"); // "a " loses its blank
    for (int i = 1; i < 18; ++i)
        EXPECT_EQ(lines[i], QStringLiteral("a") + delimiters[i]) << i;
    EXPECT_EQ(lines[18], "");
    // Other punctuation does not close a word.
    EXPECT_EQ(WrapCaptionLines(fm, 0, QStringLiteral("a!b_c%d&e")), QStringList{"a!b_c%d&e"});
}

TEST(WrapCaptionLines, TrimsBlanksAndControlsButNeverTheLastLine) {
    const QFontMetrics fm(fixedFont());
    // A tab is no delimiter but is trimmed like a blank.
    EXPECT_EQ(WrapCaptionLines(fm, 0, QStringLiteral("x\t y")), (QStringList{"x", "y"}));
    // A lone blank word becomes an empty line; the last line keeps its blanks.
    EXPECT_EQ(WrapCaptionLines(fm, 0, QStringLiteral("Аб; вг")), (QStringList{"Аб;", "", "вг"}));
    const QString spaced = QStringLiteral(" всего ");
    EXPECT_EQ(WrapCaptionLines(fm, 1000, spaced), QStringList{spaced});
}

// ---------------------------------------------------------------- placing the lines

TEST(LayoutTitleLines, PlacesLinesByAlignment) {
    const QFontMetrics fm(fixedFont());
    const QRect cell(10, 5, 100, 51);
    const QStringList lines{"ВСЕГО", "УЧАЩИХСЯ", "x"};
    const int h = fm.height();

    const auto left = LayoutTitleLines(fm, cell, lines, Qt::AlignLeft);
    ASSERT_EQ(left.size(), 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(left[k].topLeft.x(), 12);
        EXPECT_EQ(left[k].topLeft.y(), 5 + 2 + k * (h + 2));
        EXPECT_EQ(left[k].text, lines[k]);
    }
    const auto right = LayoutTitleLines(fm, cell, lines, Qt::AlignRight | Qt::AlignVCenter);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(right[k].topLeft.x(), 110 - advance(fm, lines[k]) - 3);
    const auto centre = LayoutTitleLines(fm, cell, lines, Qt::AlignHCenter);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(centre[k].topLeft.x(), 10 + 50 - advance(fm, lines[k]) / 2);
}

TEST(LayoutTitleLines, FiftyOnePixelsHoldThreeLinesOfTheUsualFont) {
    const QFontMetrics fm(fixedFont(11));
    const QRect cell(0, 0, 80, 51);
    const auto placed = LayoutTitleLines(fm, cell, {"a", "b", "c", "d"}, Qt::AlignLeft);
    const auto bottom = [&](int k) { return placed[k].topLeft.y() + fm.height(); };
    EXPECT_LE(bottom(2), cell.y() + cell.height()); // the third line is whole
    EXPECT_GT(bottom(3), cell.y() + cell.height()); // a fourth one would not be
}

// ---------------------------------------------------------------- the grid

struct GridFixture : ::testing::Test {
    QStandardItemModel model{3, 3};
    TMultiLineGrid grid;

    void SetUp() override {
        grid.setFont(fixedFont());
        grid.setModel(&model);
        grid.resize(400, 200);
    }
    void setTitle(int column, const QString &text, Qt::Alignment a = Qt::AlignLeft) {
        model.setHeaderData(column, Qt::Horizontal, text, Qt::DisplayRole);
        model.setHeaderData(column, Qt::Horizontal, QVariant::fromValue(a), Qt::TextAlignmentRole);
    }
    QImage grab() {
        grid.show();
        return grid.grab().toImage();
    }
    QRect sectionRect(int column) const {
        QHeaderView *h = grid.horizontalHeader();
        return QRect(h->mapTo(&grid, QPoint(h->sectionViewportPosition(column), 0)),
                     QSize(h->sectionSize(column), h->height()));
    }
    // Pixels clearly darker than the title background in a rectangle.
    int inkPixels(const QImage &img, const QRect &r) const {
        const QColor bg = grid.horizontalHeader()->palette().color(QPalette::Button);
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(img.pixel(x, y)) < qGray(bg.rgb()) - 80)
                    ++n;
        return n;
    }
};

TEST_F(GridFixture, TitleHeightIs17AndFollowsTheProperty) {
    EXPECT_EQ(grid.TitleHeight(), 17);
    EXPECT_EQ(grid.property("TitleHeight").toInt(), 17);
    grid.show();
    EXPECT_EQ(grid.horizontalHeader()->height(), 17);

    QSignalSpy spy(&grid, &TMultiLineGrid::titleHeightChanged);
    for (int h : {34, 51, 68}) {
        grid.SetTitleHeight(h);
        EXPECT_EQ(grid.horizontalHeader()->height(), h);
        EXPECT_EQ(grid.horizontalHeader()->sizeHint().height(), h);
    }
    EXPECT_EQ(spy.count(), 3);
    grid.SetTitleHeight(68); // an equal value changes nothing
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(GridFixture, EveryWrappedLineIsDrawnInsideTheTitleHeight) {
    const QFontMetrics fm(grid.font());
    setTitle(0, QStringLiteral("Количество столбцов"));
    setTitle(1, QString());
    grid.setColumnWidth(0, advance(fm, QStringLiteral("Количество ")) + 6);
    const int h = fm.height();
    const auto secondLine = [&](const QRect &s) {
        return QRect(s.left() + 2, s.top() + 2 + h + 2, s.width() - 4, h - 2);
    };

    grid.SetTitleHeight(17);
    QImage img = grab();
    EXPECT_GT(inkPixels(img, QRect(sectionRect(0).topLeft() + QPoint(2, 3),
                                   QSize(sectionRect(0).width() - 4, 10))),
              0);
    grid.SetTitleHeight(34);
    img = grab();
    const QRect s0 = sectionRect(0);
    EXPECT_EQ(s0.height(), 34);
    EXPECT_GT(inkPixels(img, secondLine(s0)), 0) << "the second line must be visible";
    // An empty caption draws nothing but its background.
    const QRect s1 = sectionRect(1).adjusted(2, 2, -2, -2);
    EXPECT_EQ(inkPixels(img, s1), 0);
}

TEST_F(GridFixture, ALongWordIsClippedAtItsOwnCell) {
    setTitle(0, QStringLiteral("Наименованиепоказателяотчета"));
    setTitle(1, QString());
    grid.setColumnWidth(0, 40);
    grid.SetTitleHeight(34);
    const QImage img = grab();
    EXPECT_GT(inkPixels(img, sectionRect(0).adjusted(1, 1, -1, -1)), 0);
    EXPECT_EQ(inkPixels(img, sectionRect(1).adjusted(2, 2, -2, -2)), 0)
        << "the word must not spill into the next title";
}

TEST_F(GridFixture, RightAndLeftJustifiedTitlesKeepTheirMargins) {
    const QFontMetrics fm(grid.font());
    setTitle(0, QStringLiteral("Ш"), Qt::AlignLeft);
    setTitle(1, QStringLiteral("Ш"), Qt::AlignRight);
    grid.setShowGrid(false); // no edge lines near the margins
    grid.setColumnWidth(0, 60);
    grid.setColumnWidth(1, 60);
    const QImage img = grab();
    const QRect s0 = sectionRect(0), s1 = sectionRect(1);
    const int w = advance(fm, QStringLiteral("Ш"));
    // Ink only where the layout puts the letter (the glyph's own bearings aside).
    EXPECT_EQ(inkPixels(img, QRect(s0.left(), s0.top(), 2, s0.height())), 0);
    EXPECT_GT(inkPixels(img, QRect(s0.left() + 2, s0.top(), w, s0.height())), 0);
    EXPECT_EQ(inkPixels(img, QRect(s0.left() + 2 + w + 1, s0.top(), 20, s0.height())), 0);
    const int right = s1.left() + s1.width();
    EXPECT_EQ(inkPixels(img, QRect(right - 3, s1.top(), 3, s1.height())), 0);
    EXPECT_GT(inkPixels(img, QRect(right - 3 - w, s1.top(), w, s1.height())), 0);
    EXPECT_EQ(inkPixels(img, QRect(s1.left() + 2, s1.top(), 20, s1.height())), 0);
}

TEST_F(GridFixture, WrappedCaptionsFollowAFontChange) {
    TMultiLineHeader *header = grid.titleHeader();
    const QString caption = QStringLiteral("Количество столбцов цифр");
    // One line in the grid's font, several in a font twice as large.
    const int width = QFontMetrics(grid.font()).horizontalAdvance(caption) + 4;
    const QStringList small = header->wrappedCaption(caption, width);
    EXPECT_EQ(small, QStringList{caption});
    EXPECT_EQ(header->wrappedCaption(caption, width), small);
    EXPECT_EQ(header->cachedCaptionCount(), 1);

    grid.setFont(fixedFont(22));
    const QFontMetrics big(fixedFont(22));
    EXPECT_EQ(header->wrappedCaption(caption, width), WrapCaptionLines(big, width - 4, caption));
    EXPECT_NE(header->wrappedCaption(caption, width), small);
}

TEST(GridFont, TitlesTakeTheGridsFontEvenUnderAStyledParent) {
    QWidget parent;
    parent.setStyleSheet(QStringLiteral("QWidget { color: navy; }"));
    TMultiLineGrid grid(&parent);
    grid.setFont(fixedFont(19));
    EXPECT_EQ(grid.titleHeader()->font(), grid.font());
}

} // namespace
