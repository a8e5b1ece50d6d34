#pragma once
// A small installation for the entry window tests: three organisations, the
// own requisites, the period 2015 / 2016 with its catalogue and blanks, and
// one report table of organisation 1.

#include "entry_fixture.h"

#include "shell/AppState.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "support/DataModuleConnections.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace entrytest {

struct CatalogueEntry {
    int kod;
    QString name;
    QString fail;
    int group;
    int kolStolb;
    QStringList nam; // NAM1.. (missing ones empty)
    QList<int> vkl;  // VKL1.. (missing ones 1)
};

class Installation {
public:
    QTemporaryDir dir;
    QString root() const { return dir.path() + QStringLiteral("/"); }
    QString wed() const { return root() + QStringLiteral("WED/"); }
    QString org(int code) const { return root() + QStringLiteral("DBF/D%1/").arg(code); }

    static QString name25() { return QStringLiteral("Средняя школа номер 12345"); }
    static QString name32() { return QStringLiteral("Муниципальная гимназия номер 777"); }

    Installation() {
        QDir(root()).mkpath(QStringLiteral("WED/BLANK"));
        QDir(root()).mkpath(QStringLiteral("DBF/D1"));
        paths::setProgramDirForTests(dir.path());
        appState().WorkYear = 2016;
        testsupport::closeDataModuleConnections();

        store::DbfFile::create(root() + "SCHOOL.DBF",
                               {{"KOD", 'N', 5, 0}, {"KOD1", 'N', 2, 0}, {"NAME", 'C', 60, 0}});
        addRecords("SCHOOL", {{{"KOD", 1}, {"NAME", name25()}},
                              {{"KOD", 2}, {"NAME", QStringLiteral("Гимназия N 2")}},
                              {{"KOD", 3}, {"NAME", name32()}}});
        store::DbfFile::create(root() + "REGIM.DBF", {{"BANK", 'C', 60, 0}});
        addRecords("REGIM", {{{"BANK", QStringLiteral("Управление образован")}}});

        store::DbfFile::create(wed() + "FORM2016.DBF", {{"KOD", 'N', 3, 0}});
        QVector<store::FieldDef> cat = {
            {"KOD", 'N', 3, 0},      {"NAME", 'C', 60, 0},     {"FORMA", 'C', 10, 0},
            {"FAIL", 'C', 12, 0},    {"FAILTEXT", 'C', 12, 0}, {"GRUPPA", 'N', 3, 0},
            {"KOLSTOLB", 'N', 3, 0}, {"NSTOLB1", 'N', 3, 0},   {"FORM", 'N', 1, 0}};
        for (int i = 1; i <= 28; ++i)
            cat << store::FieldDef{QStringLiteral("NAM%1").arg(i), 'C', 40, 0};
        for (int i = 1; i <= 28; ++i)
            cat << store::FieldDef{QStringLiteral("VKL%1").arg(i), 'N', 2, 0};
        store::DbfFile::create(wed() + "OTHE2016.DBF", cat);
        const QList<CatalogueEntry> entries = {
            {1, "Титульный лист", "F1.DBF", 1, 3, {}, {}},
            {2, "Классы", "F4.DBF", 4, 14, {"Число;учащихся", "Классы"}, {}},
            {3, "Выпуск", "F47.DBF", 47, 14, {}, {}},
            {4, "Возраст", "F12.DBF", 12, 3, {}, {}},
            {5, "Кадры", "F46.DBF", 46, 2, {}, {}},
            {6, "Пять столбцов", "F5.DBF", 0, 5, {"Первый", "Второй;столбец"}, {1, 0}},
            {7, "Итоги по школам", "F51.DBF", 51, 28, {}, {}},
            {8, "Без шаблона", "FX.DBF", 0, 2, {}, {}},
        };
        for (const CatalogueEntry &e : entries)
            addCatalogue(e);

        makeTable(wed() + "F1.DBF", reportFields(3), 1);
        makeTable(wed() + "F4.DBF", reportFields(14), 3);
        makeTable(wed() + "F47.DBF", reportFields(14), 3);
        makeTable(wed() + "F12.DBF", reportFields(3), 15);
        makeTable(wed() + "F46.DBF", reportFields(2, 41), 3);
        makeTable(wed() + "F5.DBF", reportFields(8), 2);
        makeTable(wed() + "F51.DBF", reportFields(28), 3);
        QFile::copy(wed() + "F4.DBF", org(1) + "F42016.DBF");
    }
    ~Installation() {
        testsupport::closeDataModuleConnections();
        paths::setProgramDirForTests(QString());
    }

    void addRecords(const QString &table, const QList<testsupport::Record> &records,
                    const QString &folder = QString()) {
        testsupport::appendRecords(folder.isEmpty() ? dir.path() : folder, table, records);
    }

    void addCatalogue(const CatalogueEntry &e) {
        testsupport::Record rec = {
            {"KOD", e.kod},      {"NAME", e.name},         {"FORMA", "Ф"},       {"FAIL", e.fail},
            {"GRUPPA", e.group}, {"KOLSTOLB", e.kolStolb}, {"FAILTEXT", "B.XLS"}};
        for (int i = 1; i <= 28; ++i) {
            rec.append({QStringLiteral("NAM%1").arg(i), e.nam.value(i - 1)});
            rec.append({QStringLiteral("VKL%1").arg(i), e.vkl.value(i - 1, 1)});
        }
        addRecords("OTHE2016", {rec}, wed());
    }

    QVariant cell(int orgCode, const QString &table, int row, const QString &field) {
        return testsupport::readCell(org(orgCode), table, row, field);
    }
};

} // namespace entrytest
