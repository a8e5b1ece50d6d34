#include "shell/UnitDM.h"

#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitConsts.h"

#include <QDir>

#include <exception>

namespace {

// The files of a folder, names only, as a file list shows them.
// The ordinary files of the folder: hidden ones (a lock file such as
// ".~lock.F12016.DBF#") are not report data.
QStringList listFiles(const QString &folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

TDM &DM() {
    static TDM dm;
    return dm;
}

QString TDM::MakeConnectionString(const QString &Folder) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + Folder +
           QStringLiteral(";Extended Properties=dBASE IV;User ID=admin;Password=;");
}

bool TDM::OpenConnection(store::TADOConnection &Connection, const QString &Folder) {
    try {
        Connection.Close();
        Connection.setConnectionString(MakeConnectionString(Folder));
        Connection.Open();
        return true;
    } catch (const std::exception &) {
        try {
            Connection.Close();
        } catch (const std::exception &) {
        }
        msg::show(QStringLiteral("Ошибка"),
                  QStringLiteral("Не удалось установить соединение с БД Справочников.\r\r(Ошибка "
                                 "соединения с каталогом \\WED\\)"),
                  msg::Icon::Warning);
        return false;
    }
}

bool TDM::OpenTable(store::TADOConnection &Connection, store::TADODataSet &DataSet,
                    const QString &TableName) {
    if (!Connection.Connected())
        return false;
    try {
        DataSet.Close();
        DataSet.setConnection(&Connection);
        DataSet.setCommandText(QStringLiteral("select * from ") + TableName);
        DataSet.Open();
        return true;
    } catch (const std::exception &) {
        try {
            DataSet.Close();
        } catch (const std::exception &) {
        }
        msg::show(QStringLiteral("Ошибка"),
                  QStringLiteral("Не удалось прочитать данные из файла БД.") + TableName,
                  msg::Icon::Warning);
        return false;
    }
}

bool TDM::Connect(int Kind, const QString &Folder) {
    switch (Kind) {
    case 1:
        return OpenConnection(ADOConMain, Folder);
    case 2:
        return OpenConnection(ADOConWED, Folder);
    case 3:
        return OpenConnection(ADOConDBF, Folder);
    case 4:
        return OpenConnection(ADOConTemp, Folder);
    default:
        return false;
    }
}

QString TDM::ExtractDbq(const QString &ConnectionString) {
    const QString key = QStringLiteral("DBQ=");
    const int start = ConnectionString.indexOf(key);
    if (start < 0)
        return QString();
    const int from = start + key.size();
    const int end = ConnectionString.indexOf(QLatin1Char(';'), from);
    if (end < 0)
        return QString();
    return ConnectionString.mid(from, end - from);
}

QStringList TDM::ListOrgsWithFile(const QString &Text) {
    QStringList result;
    store::TADODataSet ds;
    if (!OpenTable(ADOConMain, ds, QStringLiteral("SCHOOL")))
        return result;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        const QString code = ds.FieldByName(QStringLiteral("KOD")).AsString();
        const QString folder = paths::GetOrgDataDir(code);
        if (QDir(folder).exists() && StrInList(Text, listFiles(folder), false))
            result.append(code);
    }
    ds.Close();
    return result;
}

QStringList TDM::ListReportsWithData(const QString &Year, const QString &OrgCode) {
    QStringList result;
    const QString folder = paths::GetOrgDataDir(OrgCode);
    if (!QDir(folder).exists())
        return result;
    const QStringList files = listFiles(folder);
    store::TADODataSet ds;
    if (!OpenTable(ADOConWED, ds, QStringLiteral("OTHE") + Year))
        return result;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        const QString fail = ds.FieldByName(QStringLiteral("FAIL")).AsString();
        const QString base = fail.left(qMax(0, int(fail.size()) - 4));
        if (StrInList(base + Year, files, false))
            result.append(ds.FieldByName(QStringLiteral("KOD")).AsString());
    }
    ds.Close();
    return result;
}
