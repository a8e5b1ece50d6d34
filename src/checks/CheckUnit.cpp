#include "checks/CheckUnit.h"

#include "checks/FormulUtil.h"
#include "checks/FormulaTables.h"
#include "checks/MesssageMCheckUnit.h"
#include "checks/UserFunctions.h"
#include "shell/Messages.h"
#include "shell/Paths.h"
#include "shell/UnitDM.h"
#include "store/ExceptionText.h"

#include <QHash>
#include <QVector>

#include <climits>
#include <cmath>
#include <memory>

int ErrorCount = 0;

namespace {

const QString kErrorTitle = QStringLiteral("Ошибка!");
const QString kResultTitle = QStringLiteral("Результаты проверки");
const QString kCR = QStringLiteral("\r");
const QString kMismatch = QStringLiteral("Не соответствие в отчете: ");

// A rule that cannot be checked, with the reason.
struct CheckFailure {
    QString text;
};

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// A number as the messages write it: a whole number in plain digits.
QString numberText(long double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e18L)
        return QString::number(static_cast<qint64>(v));
    return QString::number(static_cast<double>(v), 'G', 15);
}

struct Evaluation {
    long double expected = 0; // the value taken to a whole number
    int code = 0;
    int pos = 0;
};

// A formula whose evaluation raises expects 0.
Evaluation evaluate(const QString &text) {
    Evaluation e;
    try {
        TFormula f;
        f.SetText(text);
        e.code = f.ErrorCode();
        e.pos = f.ErrorPos();
        e.expected = RoundHalfEven(f.Value());
    } catch (...) {
        e = Evaluation{};
    }
    return e;
}

QString quoted(const QString &s) {
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// Says that a period table is missing, in place of the count of errors.
void reportMissingTable(const QString &what, const QString &table) {
    msg::show(kResultTitle, QStringLiteral("Проверка не выполнена:") + kCR +
                                QStringLiteral("в папке WED нет ") + what + QLatin1Char(' ') +
                                table + QStringLiteral(".DBF."));
}

// One piece of a check row's formula: a text, or the cell of the column
// under test at a record of the report (record > 0 or a number no table has).
struct FormulaPiece {
    QString text;
    bool cell = false;
    int record = 0;
};

// "A" and digits are cells; "AA" and digits stay for the named values.
QVector<FormulaPiece> splitCellReferences(const QString &forV) {
    QVector<FormulaPiece> pieces;
    QString literal;
    int i = 0;
    const int n = int(forV.size());
    while (i < n) {
        const QChar c = forV.at(i);
        if (c == QLatin1Char('A') && i + 1 < n && isDigit(forV.at(i + 1))) {
            int end = i + 1;
            long long record = 0;
            while (end < n && isDigit(forV.at(end))) {
                record =
                    std::min<long long>(record * 10 + (forV.at(end).unicode() - u'0'), INT_MAX);
                ++end;
            }
            if (!literal.isEmpty())
                pieces.push_back({literal, false, 0});
            literal.clear();
            pieces.push_back({QString(), true, int(record)});
            i = end;
            continue;
        }
        if (c == QLatin1Char('A') && i + 1 < n && forV.at(i + 1) == QLatin1Char('A')) {
            int end = i + 2;
            while (end < n && isDigit(forV.at(end)))
                ++end;
            literal += QStringView(forV).mid(i, end - i);
            i = end;
            continue;
        }
        literal += c;
        ++i;
    }
    if (!literal.isEmpty())
        pieces.push_back({literal, false, 0});
    return pieces;
}

struct CheckRule {
    FormCheckRow row;
    int target = 0;
    bool targetOk = false;
    QVector<FormulaPiece> pieces;
};

// The report tables of the data folder, each opened once for the run
// through one connection of the data module.
class TableCache {
public:
    TableCache(store::TADOConnection &connection, int kind, QString folder)
        : m_connection(connection), m_kind(kind), m_folder(std::move(folder)) {}
    ~TableCache() { close(); }

    // The open table, or nullptr when the folder does not hold it. Throws
    // CheckFailure when it is there but cannot be opened.
    store::TADODataSet *find(const QString &name) {
        const QString key = name.toUpper();
        auto it = m_entries.find(key);
        if (it == m_entries.end())
            it = m_entries.insert(key, open(name));
        if (!it->error.isEmpty())
            throw CheckFailure{it->error};
        return it->table.get();
    }

    void close() {
        for (Entry &e : m_entries)
            if (e.table)
                e.table->Close();
        m_entries.clear();
    }

private:
    struct Entry {
        std::shared_ptr<store::TADODataSet> table;
        QString error;
    };

    Entry open(const QString &name) {
        Entry e;
        if (!store::fileExistsCaseInsensitive(m_folder, name + QStringLiteral(".DBF")))
            return e;
        if (!connect()) {
            e.error = QStringLiteral("Не удалось открыть папку ") + m_folder + QLatin1Char('.');
            return e;
        }
        auto ds = std::make_shared<store::TADODataSet>();
        try {
            ds->setConnection(&m_connection);
            ds->setCommandText(QStringLiteral("select * from ") + name);
            ds->Open();
            e.table = std::move(ds);
        } catch (const std::exception &ex) {
            e.error = QStringLiteral("Не удалось прочитать таблицу ") + name +
                      QStringLiteral(": ") + ExceptionText(ex);
        }
        return e;
    }

    bool connect() {
        if (m_connection.Connected() && m_connection.folder() == m_folder)
            return true;
        if (m_connectFailed)
            return false;
        m_connectFailed = !DM().Connect(m_kind, m_folder);
        return !m_connectFailed;
    }

    store::TADOConnection &m_connection;
    int m_kind;
    QString m_folder;
    bool m_connectFailed = false;
    QHash<QString, Entry> m_entries;
};

// One run of the checks over one data folder: the formula tables read once,
// the named values built once, the report tables opened once.
class CheckRun {
public:
    CheckRun(int yearMod100, const QString &dataFolder, store::TADOConnection &connection, int kind)
        : cache(connection, kind, dataFolder), m_year(yearMod100) {}

    TableCache cache;

    void loadForm(store::TADODataSet &form) {
        m_rules.clear();
        m_rulesByReport.clear();
        m_definitions.clear();
        form.First();
        const int records = form.RecordCount();
        for (int k = 0; k < records; ++k, form.Next()) {
            switch (ClassifyFormRow(form)) {
            case FormRowKind::Check: {
                CheckRule rule;
                rule.row = ReadFormCheckRow(form);
                rule.target = rule.row.TargetRecord(&rule.targetOk);
                rule.pieces = splitCellReferences(rule.row.ForV);
                m_rulesByReport[rule.row.KodOth].push_back(int(m_rules.size()));
                m_rules.push_back(std::move(rule));
                break;
            }
            case FormRowKind::Definition:
                m_definitions.push_back(ReadFormDefinitionRow(form));
                break;
            case FormRowKind::Ignored:
                break;
            }
        }
    }

    void loadProv(store::TADODataSet &prov) {
        m_relations.clear();
        prov.First();
        const int records = prov.RecordCount();
        for (int k = 0; k < records; ++k, prov.Next())
            m_relations.push_back(ReadProvRow(prov));
    }

    // The named values of every definition row; one that cannot be read is
    // reported, counted and reads 0.
    void buildNamedValues(store::TADODataSet &catalogue) {
        m_named.clear();
        for (const FormDefinitionRow &def : m_definitions) {
            double value = 0;
            try {
                if (def.Kolonk <= 2)
                    throw CheckFailure{QStringLiteral("Колонка переменной должна быть больше 2.")};
                catalogue.setRecNo(def.KodOth);
                if (store::TADODataSet *t = cache.find(ReportTableName(catalogue, m_year))) {
                    t->setRecNo(def.KodStr);
                    value = t->FieldByName(QStringLiteral("N") + QString::number(def.Kolonk - 2))
                                .AsFloat();
                }
            } catch (const CheckFailure &f) {
                definitionFailed(def, f.text);
            } catch (const std::exception &e) {
                definitionFailed(def, ExceptionText(e));
            }
            m_named.add(QStringLiteral("AA") + def.Kodd, value);
        }
    }

    // Every check row of the report over its table (IntraReportChecks).
    void checkReport(store::TADODataSet &table, store::TADODataSet &catalogue, int reportNumber,
                     const QString &name) {
        const auto it = m_rulesByReport.constFind(reportNumber);
        if (it == m_rulesByReport.constEnd())
            return;
        for (int index : *it) {
            const CheckRule &rule = m_rules.at(index);
            try {
                checkRule(table, catalogue, reportNumber, name, rule);
            } catch (const CheckFailure &f) {
                ruleFailed(name, rule, f.text);
            } catch (const std::exception &e) {
                ruleFailed(name, rule, ExceptionText(e));
            }
        }
    }

    // Every relation of PROV<Y>, in table order; false when the user stopped.
    bool checkRelations(store::TADODataSet &catalogue) {
        for (const ProvRow &r : m_relations) {
            QString message;
            try {
                message = checkRelation(catalogue, r);
            } catch (const CheckFailure &f) {
                message = relationFailure(r, f.text);
            } catch (const std::exception &e) {
                message = relationFailure(r, ExceptionText(e));
            }
            if (message.isEmpty())
                continue;
            ++ErrorCount;
            if (!MessageMCheckForm().Ask(message))
                return false;
        }
        return true;
    }

private:
    // CheckColumnFormula: one check row over its column or columns.
    void checkRule(store::TADODataSet &table, store::TADODataSet &catalogue, int reportNumber,
                   const QString &name, const CheckRule &rule) {
        catalogue.setRecNo(reportNumber);
        const int nstolb1 = catalogue.FieldByName(QStringLiteral("NSTOLB1")).AsInteger();
        if (!rule.targetOk)
            throw CheckFailure{QStringLiteral("Переменная ") + rule.row.Iden +
                               QStringLiteral(" не называет строку отчета.")};
        int first = rule.row.Kolonk - nstolb1 + 1;
        int last = first;
        if (rule.row.Kolonk == 0) {
            first = 1;
            last = dataFieldCount(table);
        }
        for (int i = first; i <= last; ++i) {
            const QString field = QStringLiteral("N") + QString::number(i);
            if (table.FieldIndex(field) < 0)
                throw CheckFailure{QStringLiteral("В отчете нет колонки ") +
                                   QString::number(nstolb1 + i - 1) + QStringLiteral(" (поля ") +
                                   field + QStringLiteral(").")};
            QString text;
            for (const FormulaPiece &p : rule.pieces) {
                if (!p.cell) {
                    text += p.text;
                    continue;
                }
                table.setRecNo(p.record);
                text += FormulaCellText(table.FieldByName(field).AsString());
            }
            text = SubstituteCrossReferences(m_named, text);
            const Evaluation ev = evaluate(text);
            table.setRecNo(rule.target);
            const long double entered = RoundHalfEven(table.FieldByName(field).AsFloat());
            const QString where = QStringLiteral("Ошибка: строка  ") + rule.row.KodStr +
                                  QStringLiteral(", колонка  ") + QString::number(nstolb1 + i - 1);
            if (ev.code != 0) {
                ++ErrorCount;
                msg::show(kErrorTitle,
                          findingText(QStringLiteral("Ошибка в формуле отчета: "), name, where,
                                      formulaErrorText(rule.row.ForV, text, ev), rule.row.Primeh));
                continue;
            }
            if (ev.expected == entered)
                continue;
            msg::show(kErrorTitle,
                      findingText(kMismatch, name, where, mismatchText(entered, ev.expected),
                                  rule.row.Primeh));
            ++ErrorCount;
        }
    }

    // One relation; the message to show, or an empty text when it holds or
    // is passed over.
    QString checkRelation(store::TADODataSet &catalogue, const ProvRow &r) {
        // A side whose table the folder does not hold: nothing to compare.
        catalogue.setRecNo(r.NForm2);
        store::TADODataSet *right = cache.find(ReportTableName(catalogue, m_year));
        if (!right)
            return QString();
        catalogue.setRecNo(r.NForm1);
        store::TADODataSet *left = cache.find(ReportTableName(catalogue, m_year));
        if (!left)
            return QString();

        right->setRecNo(r.NStr2);
        const QString text =
            SubstituteCrossReferences(m_named, SubstituteRowFields(*right, r.Perem2));
        const Evaluation ev = evaluate(text);

        left->setRecNo(r.NStr1);
        const QString field = r.Perem1.trimmed();
        const long double entered = RoundHalfEven(left->FieldByName(field).AsFloat());
        if (ev.code == 0 && ev.expected == entered)
            return QString();

        // The left report's record is still current in the catalogue. A
        // column that the catalogue gives no caption field is named by an
        // empty text: the mismatch is shown all the same.
        const QString captionField = QStringLiteral("NAM") + field.mid(1);
        const QString caption = catalogue.FieldIndex(captionField) < 0
                                    ? QString()
                                    : catalogue.FieldByName(captionField).AsString();
        const int semicolon = int(caption.indexOf(QLatin1Char(';')));
        const QString column = (semicolon >= 0 ? caption.mid(semicolon + 1) : caption).trimmed();
        const QString name = catalogue.FieldByName(QStringLiteral("NAME")).AsString();
        const QString where = QStringLiteral("Ошибка: строка ") + QString::number(r.NStr1) +
                              QStringLiteral(" колонка ") + column;
        if (ev.code != 0)
            return findingText(QStringLiteral("Ошибка в формуле связи между отчетами: "), name,
                               where, formulaErrorText(r.Perem2, text, ev), r.Primeh);
        return findingText(kMismatch, name, where, mismatchText(entered, ev.expected), r.Primeh);
    }

    // What a check found in a report: the heading, the report's name, where
    // in it, the details and the rule's note.
    static QString findingText(const QString &heading, const QString &name, const QString &where,
                               const QString &details, const QString &note) {
        return heading + kCR + quoted(name) + kCR + kCR + where + kCR + details + kCR + kCR + note;
    }

    static QString mismatchText(long double entered, long double expected) {
        return QStringLiteral("Введено: ") + numberText(entered) + kCR +
               QStringLiteral("Должно быть: ") + numberText(expected);
    }

    static QString formulaErrorText(const QString &formula, const QString &evaluated,
                                    const Evaluation &ev) {
        return QStringLiteral("Формула: ") + formula + kCR + QStringLiteral("Вычислялось: ") +
               evaluated + kCR + QStringLiteral("Код ошибки: ") + QString::number(ev.code) +
               QStringLiteral(", позиция: ") + QString::number(ev.pos);
    }

    // Fields whose names begin with "N", leaving out NAME and NOMFORM.
    static int dataFieldCount(store::TADODataSet &table) {
        int n = 0;
        for (const store::FieldDef &d : table.FieldDefs())
            if (d.name.startsWith(QLatin1Char('N'), Qt::CaseInsensitive) &&
                d.name.compare(QLatin1String("NAME"), Qt::CaseInsensitive) != 0 &&
                d.name.compare(QLatin1String("NOMFORM"), Qt::CaseInsensitive) != 0)
                ++n;
        return n;
    }

    void ruleFailed(const QString &name, const CheckRule &rule, const QString &why) {
        ++ErrorCount;
        msg::show(kErrorTitle, QStringLiteral("Правило проверки не выполнено: ") + kCR +
                                   quoted(name) + kCR + kCR + QStringLiteral("Строка  ") +
                                   rule.row.KodStr + QStringLiteral(", переменная ") +
                                   rule.row.Iden + QStringLiteral(", формула: ") + rule.row.ForV +
                                   kCR + why);
    }

    void definitionFailed(const FormDefinitionRow &def, const QString &why) {
        ++ErrorCount;
        msg::show(kErrorTitle,
                  QStringLiteral("Переменная AA") + def.Kodd + QStringLiteral(" не определена: ") +
                      kCR + QStringLiteral("отчет с кодом ") + QString::number(def.KodOth) +
                      QStringLiteral(", строка ") + QString::number(def.KodStr) +
                      QStringLiteral(", колонка ") + QString::number(def.Kolonk) + kCR + why);
    }

    static QString relationFailure(const ProvRow &r, const QString &why) {
        return QStringLiteral("Связь между отчетами не проверена: ") + kCR +
               QStringLiteral("отчет с кодом ") + QString::number(r.NForm1) +
               QStringLiteral(", строка ") + QString::number(r.NStr1) + QStringLiteral(", поле ") +
               r.Perem1 + QStringLiteral(" = отчет с кодом ") + QString::number(r.NForm2) +
               QStringLiteral(", строка ") + QString::number(r.NStr2) +
               QStringLiteral(", формула: ") + r.Perem2 + kCR + why;
    }

    int m_year;
    QVector<CheckRule> m_rules;
    QHash<int, QVector<int>> m_rulesByReport; // report code -> rules in FORM order
    QVector<FormDefinitionRow> m_definitions;
    QVector<ProvRow> m_relations;
    CrossReferenceTable m_named;
};

// Says which of the catalogue and FORM<Y> the period lacks; false when it
// lacks one of them.
bool ruleTablesPresent(bool cataloguePresent, int year) {
    if (!cataloguePresent) {
        reportMissingTable(QStringLiteral("каталога отчетов"),
                           FormulaTableName(QStringLiteral("OTHE"), year));
        return false;
    }
    if (!FormulaTableExists(QStringLiteral("FORM"), year)) {
        reportMissingTable(QStringLiteral("таблицы формул"),
                           FormulaTableName(QStringLiteral("FORM"), year));
        return false;
    }
    return true;
}

// Mode 1: the caller's table with the rules of its report.
bool CheckOneReport(store::TADODataSet &table, int reportNumber, int orgCode, int year,
                    int setNumber) {
    if (table.State() == store::DataSetState::Edit ||
        table.State() == store::DataSetState::Insert) {
        if (table.Modified())
            table.Post();
        else
            table.Cancel();
    }
    if (!ruleTablesPresent(FormulaTableExists(QStringLiteral("OTHE"), year), year))
        return false;
    const auto catalogue = OpenFormulaTable(QStringLiteral("OTHE"), year);
    const auto form = catalogue ? OpenFormulaTable(QStringLiteral("FORM"), year) : nullptr;
    if (!form)
        return true; // the data module has said why
    TDM &dm = DM();
    CheckRun run(year, CheckDataFolder(orgCode, year, setNumber), dm.ADOConTemp, 4);
    run.loadForm(*form);
    form->Close();
    run.buildNamedValues(*catalogue);
    run.cache.close();
    dm.ADOConTemp.Close();
    catalogue->setRecNo(reportNumber);
    const QString name = catalogue->FieldByName(QStringLiteral("NAME")).AsString();
    run.checkReport(table, *catalogue, reportNumber, name);
    catalogue->Close();
    return true;
}

// Mode 2: every report of the data folder, then the relations between them.
bool CheckAllReports(store::TADODataSet &catalogue, int orgCode, int year, int setNumber) {
    if (!ruleTablesPresent(catalogue.Active(), year))
        return false;
    const auto form = OpenFormulaTable(QStringLiteral("FORM"), year);
    if (!form)
        return true;
    CheckRun run(year, CheckDataFolder(orgCode, year, setNumber), DM().ADOConDBF, 3);
    run.loadForm(*form);
    run.buildNamedValues(catalogue);

    const int reports = catalogue.RecordCount();
    for (int rec = 1; rec <= reports; ++rec) {
        catalogue.setRecNo(rec);
        if (catalogue.FieldByName(QStringLiteral("FAIL")).AsString().trimmed().isEmpty())
            continue;
        const QString name = catalogue.FieldByName(QStringLiteral("NAME")).AsString();
        const int code = catalogue.FieldByName(QStringLiteral("KOD")).AsInteger();
        store::TADODataSet *table = nullptr;
        try {
            table = run.cache.find(ReportTableName(catalogue, year));
        } catch (const CheckFailure &f) {
            ++ErrorCount;
            msg::show(kErrorTitle, QStringLiteral("Отчет не проверен: ") + kCR + kCR +
                                       quoted(name) + kCR + f.text);
            continue;
        }
        if (!table) {
            msg::show(QStringLiteral("Сообщение"),
                      QStringLiteral("Нет отчета: ") + kCR + kCR + quoted(name));
            continue;
        }
        run.checkReport(*table, catalogue, code, name);
    }

    if (!FormulaTableExists(QStringLiteral("PROV"), year)) {
        msg::show(QStringLiteral("Сообщение"),
                  QStringLiteral("Связи между отчетами не проверены:") + kCR +
                      QStringLiteral("в папке WED нет таблицы связей ") +
                      FormulaTableName(QStringLiteral("PROV"), year) + QStringLiteral(".DBF."));
        return true;
    }
    if (const auto prov = OpenFormulaTable(QStringLiteral("PROV"), year)) {
        run.loadProv(*prov);
        run.checkRelations(catalogue);
    }
    return true;
}

} // namespace

QString CheckDataFolder(int OrgCode, int YearMod100, int SetNumber) {
    QString folder = SetNumber == -1 ? paths::GetOrgDataDir(QString::number(OrgCode))
                                     : paths::GetSvodDir(2000 + YearMod100, SetNumber);
    while (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        folder.chop(1);
    return folder;
}

bool InterReportChecks(store::TADODataSet &Catalogue, store::TADODataSet &Form,
                       store::TADODataSet &Prov, const QString &DataFolder, int YearMod100) {
    CheckRun run(YearMod100, DataFolder, DM().ADOConDBF, 3);
    run.loadForm(Form);
    run.buildNamedValues(Catalogue);
    run.loadProv(Prov);
    return run.checkRelations(Catalogue);
}

void CheckReports(store::TADODataSet &DataSet, int Mode, int ReportNumber, int OrgCode,
                  int YearMod100, int SetNumber) {
    ErrorCount = 0;
    bool finished = true;
    try {
        if (Mode == 1)
            finished = CheckOneReport(DataSet, ReportNumber, OrgCode, YearMod100, SetNumber);
        else if (Mode == 2)
            finished = CheckAllReports(DataSet, OrgCode, YearMod100, SetNumber);
    } catch (const std::exception &e) {
        ++ErrorCount;
        msg::show(kErrorTitle,
                  QStringLiteral("Проверка прервана: ") + kCR + kCR + ExceptionText(e));
    }
    try {
        if (DataSet.Active())
            DataSet.First();
    } catch (const std::exception &) {
    }
    if (finished)
        msg::show(kResultTitle, QStringLiteral("Проверка завершена.") + kCR + kCR +
                                    QStringLiteral("Обнаружено ошибок: ") +
                                    QString::number(ErrorCount));
}
