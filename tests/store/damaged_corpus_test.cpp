// Every table of tests/data/damaged (made by tests/data/dbf/make_damaged.py)
// through open, walk, every reading of every field, edit and append. A file
// named "open-..." must work throughout; a "bad-..." one must be refused with
// a message naming it and be left as it was. Neither may crash, which the
// sanitizer build checks byte by byte.

#include "StoreTestUtil.h"

#include "store/Dataset.h"

#include <QDir>
#include <QFile>

using namespace store;
using storetest::Folder;
using storetest::readBytes;

namespace {

const QString kCorpus = QStringLiteral(KVR_TESTDATA_DIR "/damaged");

// Every reading of every field of the current record; its text.
QString recordText(TADODataSet &ds) {
    QStringList record;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        const TField f = ds.Fields(i);
        try {
            double v = 0;
            (void)f.IsNull();
            (void)f.AsInteger();
            (void)f.AsFloat();
            (void)f.AsBoolean();
            (void)f.AsVariant();
            (void)f.StoredText();
            (void)f.ReadNumber(v);
            record << f.AsString();
        } catch (const StoreError &) {
            // A memo value needs the memo file, which the corpus leaves out.
            EXPECT_EQ(f.Def().type, 'M') << f.FieldName().toStdString();
            record << QString();
        }
    }
    return record.join(u'|');
}

QStringList readEverything(TADODataSet &ds) {
    QStringList texts;
    for (ds.First(); !ds.Eof(); ds.Next())
        texts << recordText(ds);
    return texts;
}

// Writes every field of the first record back as it reads and appends a
// record; the texts of the records as posted.
QStringList editAndAppend(TADODataSet &ds) {
    QStringList posted = readEverything(ds);
    if (!ds.IsEmpty()) {
        ds.First();
        ds.Edit();
        for (int i = 0; i < ds.FieldCount(); ++i)
            if (ds.Fields(i).Def().type != 'M')
                ds.Fields(i).SetAsString(ds.Fields(i).AsString());
        posted[0] = recordText(ds);
        ds.Post();
    }
    ds.Append();
    ds.Fields(0).Clear();
    ds.Post();
    posted << recordText(ds);
    return posted;
}

} // namespace

TEST(DamagedCorpus, EveryFileOpensOrIsRefusedAndNoneCrashes) {
    const QStringList files = QDir(kCorpus).entryList({"*.DBF"}, QDir::Files, QDir::Name);
    ASSERT_GT(files.size(), 200);
    int opened = 0;
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        const bool good = name.startsWith(QStringLiteral("open-"));
        ASSERT_TRUE(good || name.startsWith(QStringLiteral("bad-")));
        Folder f;
        const QString path = f.file("T.DBF");
        ASSERT_TRUE(QFile::copy(kCorpus + u'/' + name, path));
        const QByteArray bytes = readBytes(path);
        TADODataSet ds;
        ds.setConnection(&f.con);
        ds.setCommandText("select * from T");
        try {
            ds.Open();
            (void)DbfFile::fieldsOf(path);
        } catch (const StoreError &e) {
            EXPECT_FALSE(good) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("T.DBF"))) << e.message().toStdString();
            EXPECT_EQ(readBytes(path), bytes);
            continue;
        }
        EXPECT_TRUE(good) << "opened";
        ++opened;
        const QStringList posted = editAndAppend(ds);
        ds.Close();
        TADODataSet again;
        f.openTable(again, "select * from T");
        EXPECT_EQ(readEverything(again), posted);
    }
    EXPECT_GT(opened, 30);
}
