#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using store::DataSetState;
using store::FieldDef;

struct ModelFixture : ::testing::Test {
    QTemporaryDir dir;
    store::TADOConnection con;
    store::TADODataSet ds;
    DataSetModel model;
    QStringList errors;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        store::DbfFile::create(dir.filePath("T.DBF"),
                               {FieldDef{"KODSTR", 'C', 4, 0}, FieldDef{"NAME", 'C', 30, 0},
                                FieldDef{"N1", 'N', 6, 0}, FieldDef{"N2", 'N', 8, 2}});
        con.setFolder(dir.path());
        con.Open();
        ds.setConnection(&con);
        ds.setCommandText("select * from T");
        ds.Open();
        const QStringList names{"Всего", "городские", "сельские"};
        for (int i = 0; i < 3; ++i) {
            ds.Append();
            ds.FieldByName("KODSTR").SetAsString(QString::number(i + 1));
            ds.FieldByName("NAME").SetAsString(names[i]);
            ds.FieldByName("N1").SetAsInteger((i + 1) * 10);
            ds.Post();
        }
        ds.First();
        model.onError = [this](const QString &e) { errors << e; };
    }

    // The value as a fresh reader of the file sees it.
    QString fileValue(int recNo, const QString &field) {
        store::TADODataSet other;
        other.setConnection(&con);
        other.setCommandText("select * from T");
        other.Open();
        other.setRecNo(recNo);
        return other.FieldByName(field).AsString();
    }
};

TEST_F(ModelFixture, ShowsEveryRecordAndFieldWithoutMovingTheDataset) {
    ds.setRecNo(2);
    model.setDataSet(&ds);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(model.currentRow(), 1);
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "N1");
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "городские");
    EXPECT_EQ(model.data(model.index(2, 2)).toString().toDouble(), 30);
    EXPECT_TRUE(model.data(model.index(0, 3)).toString().isEmpty());
    const auto align = [&](int c) {
        return model.data(model.index(0, c), Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(align(1), Qt::AlignLeft);
    EXPECT_EQ(align(2), Qt::AlignRight);
}

TEST_F(ModelFixture, AnEditIsPostedToTheFileAtOnce) {
    model.setDataSet(&ds);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model.setData(model.index(2, 2), "77"));
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(fileValue(3, "N1").toDouble(), 77);
    EXPECT_EQ(model.data(model.index(2, 2)).toString().toDouble(), 77);
    EXPECT_GE(changed.count(), 1);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ModelFixture, WithoutPostOnEditTheRowChangePosts) {
    model.setDataSet(&ds);
    model.setPostOnEdit(false);
    ASSERT_TRUE(model.setData(model.index(0, 2), "5"));
    EXPECT_EQ(ds.State(), DataSetState::Edit);
    EXPECT_EQ(fileValue(1, "N1").toDouble(), 10);
    EXPECT_TRUE(model.setCurrentRow(1));
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(fileValue(1, "N1").toDouble(), 5);
    EXPECT_EQ(ds.RecNo(), 2);
}

TEST_F(ModelFixture, ReadOnlyColumnsAndReadOnlyModelRefuseEdits) {
    model.setDataSet(&ds);
    model.setColumnReadOnly(1, true);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 1), "чужое"));
    EXPECT_TRUE(model.flags(model.index(0, 2)) & Qt::ItemIsEditable);
    model.setReadOnly(true);
    EXPECT_FALSE(model.flags(model.index(0, 2)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 2), "1"));
    EXPECT_EQ(fileValue(1, "NAME"), "Всего");
    EXPECT_EQ(fileValue(1, "N1").toDouble(), 10);
}

TEST_F(ModelFixture, AValueThatDoesNotFitIsReportedAndNothingIsWritten) {
    model.setDataSet(&ds);
    EXPECT_FALSE(model.setData(model.index(1, 2), "12345678901")); // N(6)
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(ds.State(), DataSetState::Browse);
    EXPECT_EQ(fileValue(2, "N1").toDouble(), 20);
    EXPECT_EQ(model.data(model.index(1, 2)).toString().toDouble(), 20);
}

TEST_F(ModelFixture, UnchangedTextWritesNothing) {
    model.setDataSet(&ds);
    int edits = 0;
    ds.beforeEdit = [&] { ++edits; };
    EXPECT_TRUE(model.setData(model.index(0, 1), "Всего"));
    EXPECT_EQ(edits, 0);
    EXPECT_TRUE(model.setData(model.index(0, 1), "Итого"));
    EXPECT_EQ(edits, 1);
}

TEST_F(ModelFixture, FollowsChangesMadeThroughTheDataset) {
    model.setDataSet(&ds);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    ds.setRecNo(2);
    ds.Edit();
    ds.FieldByName("NAME").SetAsString("изменено");
    ds.Post();
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "изменено");

    ds.Append();
    EXPECT_EQ(model.rowCount(), 3); // the new record shows once posted
    ds.FieldByName("NAME").SetAsString("новая");
    ds.Post();
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_GE(reset.count(), 1);
    EXPECT_EQ(model.data(model.index(3, 1)).toString(), "новая");

    ds.setRecNo(1);
    ds.Delete();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "изменено");

    const int resets = reset.count();
    ds.Close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_GT(reset.count(), resets);
    ds.Open();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 4);
}

TEST_F(ModelFixture, ReopeningRebuildsTheColumns) {
    model.setDataSet(&ds);
    model.setColumnTitle(1, "Наименование");
    model.setColumnVisible(3, false);
    QSignalSpy columns(&model, &DataSetModel::columnsChanged);
    ds.Close();
    ds.Open();
    EXPECT_GE(columns.count(), 1);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "NAME");
    EXPECT_TRUE(model.columns()[3].visible);
}

TEST_F(ModelFixture, ColumnsCanBeChosenOrderedAndColoured) {
    model.setDataSet(&ds);
    DataSetModel::Column name;
    name.field = "name"; // any letter case
    name.title = "Наименование";
    DataSetModel::Column missing;
    missing.field = "NOPE";
    DataSetModel::Column n1;
    n1.field = "N1";
    n1.color = Qt::yellow;
    model.setColumns({name, missing, n1});
    ASSERT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.columnOfField("N1"), 1);
    EXPECT_EQ(model.columnOfField("KODSTR"), -1);
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "сельские");
    EXPECT_EQ(model.data(model.index(0, 1), Qt::BackgroundRole).value<QColor>(),
              QColor(Qt::yellow));
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::BackgroundRole).isValid());

    model.cellBackground = [](int row, int column) {
        return row == 1 && column == 0 ? QColor(0xCC, 0xDF, 0xFF) : QColor();
    };
    EXPECT_EQ(model.data(model.index(1, 0), Qt::BackgroundRole).value<QColor>(),
              QColor(0xCC, 0xDF, 0xFF));
    EXPECT_EQ(model.data(model.index(1, 1), Qt::BackgroundRole).value<QColor>(),
              QColor(Qt::yellow));

    model.moveColumn(1, 0);
    EXPECT_EQ(model.fieldOfColumn(0), "N1");
    EXPECT_EQ(model.displayWidth(0), 6);
}

TEST_F(ModelFixture, HandlersInstalledBeforeStillRunButNotForPainting) {
    int scrolls = 0;
    ds.onScroll = [&] { ++scrolls; };
    model.setDataSet(&ds);
    model.reload(); // reads every record
    EXPECT_EQ(scrolls, 0);
    QSignalSpy current(&model, &DataSetModel::currentRowChanged);
    ASSERT_TRUE(model.setCurrentRow(2));
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_GE(scrolls, 1);
    ASSERT_GE(current.count(), 1);
    EXPECT_EQ(current.last().at(0).toInt(), 2);
    EXPECT_EQ(model.headerData(2, Qt::Vertical).toString().isEmpty(), false);
    EXPECT_TRUE(model.headerData(0, Qt::Vertical).toString().isEmpty());

    model.setDataSet(nullptr); // gives the handler back
    const int before = scrolls;
    ds.setRecNo(1);
    EXPECT_GT(scrolls, before);
}

TEST_F(ModelFixture, TheGridAndTheDatasetMoveTogether) {
    TMultiLineGrid grid;
    model.setDataSet(&ds);
    grid.setDataSetModel(&model);
    model.setColumnVisible(0, false);
    EXPECT_TRUE(grid.isColumnHidden(0));
    model.setColumnWidth(1, 123);
    EXPECT_EQ(grid.columnWidth(1), 123);
    // A column without a width is at least as wide as its title.
    model.setColumnTitle(2, "ОЧЕНЬ ДЛИННЫЙ ЗАГОЛОВОК СТОЛБЦА");
    EXPECT_GE(grid.columnWidth(2), grid.titleHeader()->fontMetrics().horizontalAdvance(
                                       "ОЧЕНЬ ДЛИННЫЙ ЗАГОЛОВОК СТОЛБЦА"));

    grid.setCurrentIndex(model.index(2, 1));
    EXPECT_EQ(ds.RecNo(), 3);
    ds.setRecNo(2);
    EXPECT_EQ(grid.currentIndex().row(), 1);
    EXPECT_EQ(grid.currentIndex().column(), 1);

    QSignalSpy exits(&grid, &TMultiLineGrid::colExit);
    grid.setCurrentIndex(model.index(1, 2));
    ASSERT_EQ(exits.count(), 1);
    EXPECT_EQ(exits.at(0).at(0).toInt(), 1);
}

TEST_F(ModelFixture, NewColumnsKeepTheCursorOnTheCurrentRecord) {
    TMultiLineGrid grid;
    model.setDataSet(&ds);
    grid.setDataSetModel(&model);
    // The dataset stays on its first record while the columns are chosen, so
    // the model's reset is the only thing that happens to the view.
    ASSERT_EQ(ds.RecNo(), 1);
    QVector<DataSetModel::Column> cols = model.columns();
    cols[0].visible = false;
    model.setColumns(cols);
    ASSERT_TRUE(grid.currentIndex().isValid());
    EXPECT_EQ(grid.currentIndex().row(), 0);
    EXPECT_FALSE(grid.isColumnHidden(grid.currentIndex().column()));
    // The arrow key moves from there to the second record.
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(ds.RecNo(), 2);
}

} // namespace
