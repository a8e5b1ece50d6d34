#include "demo/DemoData.h"

#include "demo/DemoReports.h"

#include <QStringList>

#include <cmath>
#include <cstdint>
#include <functional>

namespace demo {
namespace {

// --- a small seeded generator, the same on every platform ------------------

class Rng {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A whole number from lo to hi inclusive.
    int range(int lo, int hi) {
        return hi <= lo ? lo : lo + int(next() % std::uint64_t(hi - lo + 1));
    }
    // A fraction from lo to hi in hundredths.
    double fraction(double lo, double hi) { return lo + (hi - lo) * double(next() % 101) / 100.0; }

private:
    std::uint64_t m_state;
};

std::uint64_t seedOf(int org, int year, const QString &what) {
    std::uint64_t h = 1469598103934665603ull;
    auto mix = [&h](std::uint64_t v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    mix(std::uint64_t(org));
    mix(std::uint64_t(year));
    for (const QChar c : what)
        mix(c.unicode());
    return h;
}

double trunc2(double x) {
    // Cut after the second decimal, as report entry stores rates.
    return std::trunc(x * 100.0 + (x >= 0 ? 1e-7 : -1e-7)) / 100.0;
}

// --- the organisation book -------------------------------------------------

struct OrgRow {
    int kod;
    const char *name;
    const char *city;
    int kodcity, kod1, kod2, kod3, kod4;
};

// Codes with gaps: organisations closed over the years keep their codes.
const OrgRow kOrgs[] = {
    {1, "МОБУ СОШ № 1 с. Березовка", "Абзановский район", 1, 1, 0, 3, 1},
    {2, "МОБУ СОШ с. Ивановка", "Абзановский район", 1, 1, 0, 3, 1},
    {3, "МОБУ ООШ д. Петровка", "Абзановский район", 1, 1, 1, 2, 1},
    {4, "Филиал МОБУ СОШ с. Ивановка - НОШ д. Александровка", "Абзановский район", 1, 1, 1, 1, 2},
    {6, "МОБУ СОШ с. Михайловка", "Каменский район", 1, 1, 0, 3, 1},
    {7, "МОБУ СОШ им. М. Гафури с. Никольское", "Каменский район", 1, 1, 0, 3, 1},
    {8, "МОБУ НОШ д. Покровка", "Каменский район", 1, 1, 1, 1, 1},
    {10, "Филиал МОБУ СОШ с. Никольское - ООШ д. Знаменка", "Каменский район", 1, 1, 1, 2, 2},
    {11, "МОБУ СОШ с. Вознесенка", "Каменский район", 1, 1, 0, 3, 1},
    {12, "МОБУ СОШ № 2 с. Троицкое", "Троицкий район", 1, 1, 0, 3, 1},
    {13, "МОБУ ООШ д. Сосновка", "Троицкий район", 1, 1, 1, 2, 1},
    {16, "МОБУ СОШ с. Садовое", "Троицкий район", 1, 1, 0, 3, 1},
    {17, "МОБУ СОШ с. Каменка", "Троицкий район", 1, 1, 0, 3, 1},
    {18, "Филиал МОБУ СОШ с. Каменка - НОШ д. Зеленая Роща", "Троицкий район", 1, 1, 1, 1, 2},
    {19, "МОБУ СОШ с. Красный Яр", "Краснояровский район", 1, 1, 0, 3, 1},
    {20, "МОБУ ООШ д. Новоселки", "Краснояровский район", 1, 1, 1, 2, 1},
    {21, "МОБУ НОШ д. Дубровка", "Краснояровский район", 1, 1, 1, 1, 1},
    {23, "МОБУ СОШ с. Ольховка", "Краснояровский район", 1, 1, 0, 3, 1},
    {24, "Филиал МОБУ СОШ с. Ольховка - ООШ д. Луговое", "Краснояровский район", 1, 1, 1, 2, 2},
    {25, "МОБУ СОШ с. Степное", "Краснояровский район", 1, 1, 0, 3, 1},
    {26, "МОБУ СОШ № 1 г. Ключевск", "г. Ключевск", 2, 0, 0, 3, 1},
    {28, "МОБУ СОШ № 2 г. Ключевск", "г. Ключевск", 2, 0, 0, 3, 1},
    {29, "МОБУ гимназия № 3 г. Ключевск", "г. Ключевск", 2, 0, 0, 3, 1},
    {30, "МОБУ СОШ № 5 г. Ключевск", "г. Ключевск", 2, 0, 0, 3, 1},
    {32, "МОБУ лицей № 1 г. Заречный", "г. Заречный", 2, 0, 0, 3, 1},
    {33, "МОБУ СОШ № 4 г. Заречный", "г. Заречный", 2, 0, 0, 3, 1},
    {34, "МОБУ ООШ № 6 г. Заречный", "г. Заречный", 2, 0, 0, 2, 1},
    {35, "МОБУ НОШ № 7 г. Заречный", "г. Заречный", 2, 0, 0, 1, 1},
    {36, "ГБОУ Республиканская гимназия-интернат им. Р. Гарипова", "г. Тры", 3, 0, 0, 3, 1},
    {37, "ГБОУ Республиканский лицей-интернат № 1", "г. Тры", 3, 0, 0, 3, 1},
    {39, "ГБОУ Республиканская школа-интернат № 2 для детей с ОВЗ", "г. Тры", 3, 0, 1, 2, 1},
    {40, "ГБОУ Республиканский татарский лицей-интернат", "г. Тры", 3, 0, 0, 3, 1},
    {41, "МАОУ СОШ № 12 Кировского района г. Тры", "г. Тры", 4, 0, 0, 3, 1},
    {42, "МАОУ гимназия № 16 Кировского района г. Тры", "г. Тры", 4, 0, 0, 3, 1},
    {43, "МАОУ СОШ № 24 Ленинского района г. Тры", "г. Тры", 4, 0, 0, 3, 1},
    {45, "МАОУ башкирская гимназия № 20 Ленинского района г. Тры", "г. Тры", 4, 0, 0, 3, 1},
    {46, "МАОУ ООШ № 31 Советского района г. Тры", "г. Тры", 4, 0, 0, 2, 1},
    {48, "МАОУ СОШ № 35 Советского района г. Тры", "г. Тры", 4, 0, 0, 3, 1},
    {49, "МАОУ лицей № 42 Октябрьского района г. Тры", "г. Тры", 4, 0, 0, 3, 1},
    {51, "МАОУ СОШ № 44 Октябрьского района г. Тры", "г. Тры", 4, 0, 0, 3, 1},
    {52, "Филиал МАОУ СОШ № 44 - НОШ пос. Нижний", "г. Тры", 4, 0, 1, 1, 2},
    {54, "МОБУ СОШ с. Липовка", "Абзановский район", 1, 1, 0, 3, 1},
    {55, "МОБУ ООШ д. Вишневка", "Каменский район", 1, 1, 1, 2, 1},
    {56, "МОБУ СОШ с. Кленовка", "Троицкий район", 1, 1, 0, 3, 1},
};

const char *const kSurnames[] = {"Ахметова", "Иванова",   "Галиева",   "Петров",   "Сафина",
                                 "Хасанов",  "Кузнецова", "Валеева",   "Николаев", "Гарипова",
                                 "Смирнова", "Юсупов",    "Абдуллина", "Федорова", "Мухаметов",
                                 "Зайцева",  "Исмагилов", "Соколова",  "Шарипова", "Морозов"};
const char *const kInitials[] = {"Г.Р.", "А.В.", "Р.М.", "Н.С.", "Л.Ф.", "И.И.", "Е.А.",
                                 "З.Х.", "О.П.", "Ф.Т.", "С.Н.", "М.К.", "В.Г."};

QString person(int n) {
    return QString::fromUtf8(kSurnames[n % 20]) + QLatin1Char(' ') +
           QString::fromUtf8(kInitials[(n / 3) % 13]);
}

QString digits(std::uint64_t value, int width) {
    return QStringLiteral("%1").arg(qulonglong(value), width, 10, QLatin1Char('0')).right(width);
}

QVector<Organisation> makeOrganisations() {
    QVector<Organisation> list;
    int n = 0;
    for (const OrgRow &row : kOrgs) {
        Organisation o;
        o.kod = row.kod;
        o.kod1 = row.kod1;
        o.name = QString::fromUtf8(row.name);
        o.kod2 = row.kod2;
        o.city = QString::fromUtf8(row.city);
        o.inn = QStringLiteral("02") + digits(std::uint64_t(row.kod) * 7919u + 100u, 2) +
                digits(std::uint64_t(row.kod) * 104729u + 311u, 6);
        o.telef = QStringLiteral("(347") + QString::number(row.kodcity) + QStringLiteral(") ") +
                  QString::number(2 + n % 7) + QLatin1Char('-') + digits(10 + n * 7 % 89, 2) +
                  QLatin1Char('-') + digits(11 + n * 13 % 88, 2);
        o.okonx = QStringLiteral("92310");
        o.okpo = digits(40000000u + std::uint64_t(row.kod) * 131071u % 9999999u, 8);
        o.kodcity = row.kodcity;
        o.glavras = QString();
        o.rykorg = person(n);
        o.glabux = person(n + 7);
        o.rykfin = person(n + 11);
        o.kod3 = row.kod3;
        o.kod4 = row.kod4;
        o.adres = QStringLiteral("45") + digits(3000u + std::uint64_t(row.kod) * 37u, 4) +
                  QStringLiteral(", ") + o.city + QStringLiteral(", ул. Школьная, д. ") +
                  QString::number(1 + n % 23);
        list.append(o);
        ++n;
    }
    return list;
}

// --- the reports of one organisation ---------------------------------------

// A filled table under construction.
class Table {
public:
    Table(const QString &base, int rows, int cols) {
        m_report.base = base;
        m_report.cells = QVector<QVector<Cell>>(rows, QVector<Cell>(cols));
        m_report.names = QVector<QString>(rows);
    }
    Cell &at(int row, int col) { return m_report.cells[row - 1][col - 1]; }
    double num(int row, int col) const { return m_report.cells[row - 1][col - 1].value_or(0.0); }
    void set(int row, int col, double v) { at(row, col) = v; }
    void name(int row, const QString &text) { m_report.names[row - 1] = text; }
    int rows() const { return int(m_report.cells.size()); }
    // Sum of columns from..to of a row, as row totals read them.
    double sum(int row, int from, int to) const {
        double s = 0;
        for (int c = from; c <= to; ++c)
            s += num(row, c);
        return s;
    }
    FilledReport take() const { return m_report; }

private:
    FilledReport m_report;
};

class OrgReports {
public:
    OrgReports(const Organisation &org, int year) : m_org(org), m_year(year) {}

    QVector<FilledReport> build(bool onlyGeneral) {
        buildF1();
        QVector<FilledReport> out;
        out.append(buildF0());
        out.append(m_f1.take());
        if (onlyGeneral)
            return out;
        for (const SectionLink &link : SectionLinks())
            out.append(section(
                link.table, [&](int r) { return m_f1.num(r, link.f1Column); },
                link.table.startsWith(QLatin1String("F3"))));
        out.append(section(
            QStringLiteral("F4R2"), [&](int r) { return m_f1.num(r, 1) - m_f1.num(r, 2); }, false));
        applyFaults(out);
        out.append(buildF7());
        out.append(buildF7A(out));
        out.append(buildF12());
        out.append(buildF29());
        Rng rng = rngFor(QStringLiteral("F39"));
        const int groups = rng.range(10, 50);
        out.append(section(
            QStringLiteral("F39"),
            [&](int r) { return r == 1   ? groups
                                : r == 2 ? groups / 2
                                         : groups - groups / 2; },
            true));
        out.append(buildF40());
        out.append(buildF46());
        out.append(buildF47());
        out.append(buildF48());
        out.append(buildF51());
        return out;
    }

private:
    Rng rngFor(const QString &what) const { return Rng(seedOf(m_org.kod, m_year, what)); }

    // Pupils of grade g (1..11) of row r of F1, split evenly over the grades
    // of its column.
    double grade(int r, int g) const {
        auto share = [&](int col, int first, int count) {
            const int total = int(m_f1.num(r, col));
            const int base = total / count;
            return double(base + (g - first < total % count ? 1 : 0));
        };
        if (g == 1)
            return m_f1.num(r, 2);
        if (g <= 4)
            return share(3, 2, 3);
        if (g <= 9)
            return share(4, 5, 5);
        return share(5, 10, 2);
    }

    void buildF1() {
        Rng rng = rngFor(QStringLiteral("F1"));
        const double scale = m_org.kod4 == 2 ? 0.35 : m_org.kodcity >= 2 ? 1.6 : 1.0;
        // Pupils per column N2..N16 for the whole organisation.
        double total[17] = {};
        total[2] = std::round(rng.range(8, 40) * scale);
        total[3] = std::round(rng.range(25, 110) * scale);
        if (m_org.kod3 >= 2)
            total[4] = std::round(rng.range(40, 190) * scale);
        if (m_org.kod3 == 3)
            total[5] = std::round(rng.range(12, 70) * scale);
        total[6] = m_org.kod3 == 3 && rng.range(0, 3) == 0 ? rng.range(5, 20) : 0;
        total[7] = rng.range(0, 2) == 0 ? rng.range(4, 12) : 0;
        total[8] = rng.range(0, 4) == 0 ? rng.range(3, 10) : 0;
        total[9] = rng.range(0, 4) == 0 ? rng.range(3, 12) : 0;
        total[10] = m_org.name.contains(QStringLiteral("гимназ")) ? rng.range(60, 200) : 0;
        total[11] = m_org.name.contains(QStringLiteral("лице")) ? rng.range(50, 180) : 0;
        total[12] = m_org.kod3 == 3 && m_org.kodcity != 1 ? rng.range(10, 60) : 0;
        total[13] = rng.range(0, 3);
        total[14] = rng.range(0, 5) == 0 ? 1 : 0;
        total[15] = rng.range(0, 4) == 0 ? rng.range(1, 3) : 0;
        total[16] = 0;
        // Town and country: rural schools are all country, city schools all
        // town, republican boarding schools take pupils from both.
        const double townShare = m_org.kodcity == 1   ? 0.0
                                 : m_org.kodcity == 3 ? rng.fraction(0.5, 0.8)
                                                      : 1.0;

        m_f1 = Table(QStringLiteral("F1"), 4, 16);
        for (int c = 2; c <= 16; ++c) {
            const double town = std::round(total[c] * townShare);
            m_f1.set(1, c, total[c]);
            m_f1.set(2, c, town);
            m_f1.set(3, c, total[c] - town);
            m_f1.set(4, c, std::floor(total[c] * rng.fraction(0.45, 0.55)));
        }
        for (int r = 1; r <= 4; ++r)
            m_f1.set(r, 1, m_f1.sum(r, 2, 16)); // row totals of group 2
    }

    FilledReport buildF0() {
        Table t(QStringLiteral("F0"), 24, 2);
        for (int r = 1; r <= 8; ++r)
            t.set(r, 1, 0);
        t.set(m_org.kod4 == 1 ? 1 : 2, 1, 1);
        t.set(3 + 2 * (m_org.kod3 - 1) + (m_org.kod4 - 1), 1, 1);
        for (int r = 9; r <= 24; ++r)
            t.set(r, 1, m_f1.num(1, r - 8)); // derived from F1 row 1
        return t.take();
    }

    // A table of groups 4, 5 or 39: N1 the pupils of each row, N2..N12 the
    // pupils of each language, N13 their sum, N14 the rate per million.
    FilledReport section(const QString &base, const std::function<double(int)> &pupils,
                         bool studied) {
        Rng rng = rngFor(base);
        Table t(base, 3, 14);
        // The organisation's languages: two to four of the first six.
        int langs[4];
        const int count = rng.range(2, 4);
        for (int i = 0; i < count; ++i)
            langs[i] = 2 + (rng.range(0, 5) + i * 2) % 6;
        for (int r = 2; r <= 3; ++r) {
            const double n1 = pupils(r);
            t.set(r, 1, n1);
            for (int c = 2; c <= 12; ++c)
                t.set(r, c, 0);
            const double part = studied ? rng.fraction(0.3, 0.9) : rng.fraction(0.0, 0.4);
            double left = std::floor(n1 * part);
            for (int i = 0; i < count && left > 0; ++i) {
                const double v = i == count - 1 ? left : std::floor(left * rng.fraction(0.3, 0.7));
                t.set(r, langs[i], t.num(r, langs[i]) + v);
                left -= v;
            }
        }
        t.set(1, 1, pupils(1)); // derived from F1 (or its difference)
        for (int c = 2; c <= 12; ++c)
            t.set(1, c, t.num(2, c) + t.num(3, c));
        for (int r = 1; r <= 3; ++r)
            rowTotals4(t, r);
        return t.take();
    }

    static void rowTotals4(Table &t, int r) {
        const double s = t.sum(r, 2, 12);
        t.set(r, 13, s);
        t.set(r, 14, t.num(r, 1) == 0 ? 0 : trunc2(s / t.num(r, 1) * 1000000));
    }

    bool hasFault(const QString &table) const {
        for (const KnownFault &f : KnownFaults())
            if (f.org == m_org.kod && f.year == m_year && f.table == table)
                return true;
        return false;
    }

    // The mistakes of KnownFaults() in F3A.
    void applyFaults(QVector<FilledReport> &out) {
        for (const KnownFault &f : KnownFaults()) {
            if (f.org != m_org.kod || f.year != m_year || f.table != QLatin1String("F3A"))
                continue;
            for (FilledReport &rep : out) {
                if (rep.base != f.table)
                    continue;
                // A figure typed over in the total row (totals recomputed on
                // Enter). N1 is a derived cell, refilled from F1 whenever the
                // report opens, so the mistake is never there.
                auto &row = rep.cells[0];
                row[1] = row[1].value_or(0) + 3;
                double s = 0;
                for (int c = 1; c <= 11; ++c)
                    s += row[c].value_or(0);
                row[12] = s;
                row[13] = row[0].value_or(0) == 0 ? 0 : trunc2(s / row[0].value_or(0) * 1000000);
            }
        }
    }

    FilledReport buildF7() {
        Rng rng = rngFor(QStringLiteral("F7"));
        Table t(QStringLiteral("F7"), 3, 17);
        for (int r = 1; r <= 3; ++r) {
            const double n1 = m_f1.num(r, 1) - m_f1.num(r, 3);
            t.set(r, 1, n1); // row 1 derived from F1
            t.set(r, 2, n1);
            for (int c = 3; c <= 15; ++c)
                t.set(r, c, 0);
        }
        for (int r = 2; r <= 3; ++r) {
            double left = std::floor(t.num(r, 1) * rng.fraction(0.0, 0.15));
            for (int c = 3; c <= 15 && left > 0; c += rng.range(2, 4)) {
                const double v = std::floor(left * rng.fraction(0.4, 0.8));
                t.set(r, c, v);
                left -= v;
            }
        }
        for (int c = 3; c <= 15; ++c)
            t.set(1, c, t.num(2, c) + t.num(3, c));
        for (int r = 1; r <= 3; ++r) {
            const double s = t.sum(r, 3, 15);
            t.set(r, 16, s);
            t.set(r, 17, t.num(r, 2) == 0 ? 0 : trunc2(s / t.num(r, 2) * 100));
        }
        return t.take();
    }

    FilledReport buildF7A(const QVector<FilledReport> &sections) {
        auto n13 = [&](const QString &base) {
            for (const FilledReport &rep : sections)
                if (rep.base == base)
                    return rep.cells[0][12].value_or(0);
            return 0.0;
        };
        Table t(QStringLiteral("F7A"), 1, 7);
        t.set(1, 1, m_f1.num(1, 1));
        t.set(1, 2, m_f1.num(1, 1) - m_f1.num(1, 2));
        t.set(1, 3,
              n13(QStringLiteral("F3A")) + n13(QStringLiteral("F4A")) +
                  n13(QStringLiteral("F4A2")));
        t.set(1, 4, n13(QStringLiteral("F3B")) + n13(QStringLiteral("F4B")));
        t.set(1, 5, n13(QStringLiteral("F3V")) + n13(QStringLiteral("F4V")));
        t.set(1, 6, n13(QStringLiteral("F3G")) + n13(QStringLiteral("F4G")));
        t.set(1, 7, n13(QStringLiteral("F3D")) + n13(QStringLiteral("F4D")));
        return t.take();
    }

    FilledReport buildF12() {
        Rng rng = rngFor(QStringLiteral("F12"));
        Table t(QStringLiteral("F12"), 14, 12);
        for (int r = 1; r <= 14; ++r) {
            t.name(r, AgeRowCaption(12, m_year, r));
            for (int c = 2; c <= 12; ++c)
                t.set(r, c, 0);
        }
        // Most pupils of grade g are g + 6 years old; some a year older or
        // younger. Row r holds the age r + 4.
        for (int g = 1; g <= 11; ++g) {
            const double pupils = grade(1, g);
            const double older = std::floor(pupils * rng.fraction(0.05, 0.2));
            const double younger = std::floor(pupils * rng.fraction(0.0, 0.08));
            const int row = g + 2;
            t.set(row, g + 1, pupils - older - younger);
            t.set(row + 1, g + 1, t.num(row + 1, g + 1) + older);
            t.set(row - 1, g + 1, t.num(row - 1, g + 1) + younger);
        }
        for (int r = 1; r <= 14; ++r)
            t.set(r, 1, t.sum(r, 2, 12));
        return t.take();
    }

    FilledReport buildF29() {
        Rng rng = rngFor(QStringLiteral("F29"));
        Table t(QStringLiteral("F29"), 14, 5);
        for (int r = 1; r <= 14; ++r) {
            t.name(r, AgeRowCaption(29, m_year, r));
            const int g = r - 2; // the grade of most pupils of this age
            const double pupils = g >= 1 && g <= 11 ? grade(1, g) : (r == 1 ? 0 : rng.range(0, 2));
            const double girls = std::floor(pupils * rng.fraction(0.45, 0.55));
            const double studied = std::floor(pupils * rng.fraction(0.3, 0.8));
            t.set(r, 1, pupils);
            t.set(r, 2, pupils - girls);
            t.set(r, 3, girls);
            t.set(r, 4, studied);
            t.set(r, 5, std::floor(studied * rng.fraction(0.0, 0.5)));
        }
        return t.take();
    }

    FilledReport buildF40() {
        Rng rng = rngFor(QStringLiteral("F40"));
        Table t(QStringLiteral("F40"), 5, 6);
        for (int c = 1; c <= 5; ++c)
            t.set(1, c, 0);
        for (int r = 2; r <= 5; ++r) {
            const double n = rng.range(0, m_org.kod3 == 3 ? 4 : 2);
            const double higher = std::floor(n * rng.fraction(0.5, 1.0));
            t.set(r, 1, n);
            t.set(r, 2, n);
            t.set(r, 3, higher);
            t.set(r, 4, n - higher);
            t.set(r, 5, std::floor(n * rng.fraction(0.0, 1.0)));
            for (int c = 1; c <= 5; ++c)
                t.set(1, c, t.num(1, c) + t.num(r, c));
        }
        for (int r = 1; r <= 5; ++r) {
            if (t.num(r, 2) != 0)
                t.set(r, 6, trunc2(t.num(r, 5) * 100 / t.num(r, 2)));
        }
        return t.take();
    }

    FilledReport buildF46() {
        static const char *const clubs[] = {
            "Кружок \"Юный краевед\" (башкирский язык)", "Театральная студия на татарском языке",
            "Факультатив \"Родное слово\"", "Кружок чувашской вышивки",
            "Литературная гостиная \"Курай\""};
        Rng rng = rngFor(QStringLiteral("F46"));
        Table t(QStringLiteral("F46"), 10, 5);
        const int filled = rng.range(2, 5);
        for (int r = 1; r <= filled; ++r) {
            t.name(r, QString::fromUtf8(clubs[(r - 1 + m_org.kod) % 5]));
            const double pupils = rng.range(8, 25);
            t.set(r, 1, rng.range(1, 2));
            t.set(r, 2, pupils);
            t.set(r, 3, std::floor(pupils * rng.fraction(0.3, 0.7)));
            t.set(r, 4, rng.range(1, 4));
            t.set(r, 5, rng.range(1, 4));
        }
        return t.take();
    }

    FilledReport buildF47() {
        Rng rng = rngFor(QStringLiteral("F47"));
        Table t(QStringLiteral("F47"), 5, 14);
        // Columns N2..N12 the grades, N13 the KRO classes, N14 the evening
        // classes, each split over the four languages of instruction.
        for (int c = 2; c <= 14; ++c) {
            const double all = c <= 12   ? grade(1, c - 1)
                               : c == 13 ? m_f1.num(1, 7)
                                         : m_f1.num(1, 6);
            double left = all;
            for (int r = 4; r >= 2; --r) {
                const double v = std::floor(left * rng.fraction(0.0, 0.3));
                t.set(r, c, v);
                left -= v;
            }
            t.set(1, c, left);
            t.set(5, c, all);
        }
        for (int r = 1; r <= 5; ++r)
            t.set(r, 1, t.sum(r, 2, 14)); // row totals of group 47
        if (hasFault(QStringLiteral("F47"))) {
            // A first-grade figure of the total row typed over.
            t.set(5, 2, t.num(5, 2) + 2);
            t.set(5, 1, t.sum(5, 2, 14));
        }
        return t.take();
    }

    FilledReport buildF48() {
        static const char *const subjects[] = {"башкирский язык", "татарский язык",
                                               "чувашский язык", "башкирская литература"};
        Rng rng = rngFor(QStringLiteral("F48"));
        Table t(QStringLiteral("F48"), 12, 5);
        const int teachers = rng.range(2, 7);
        for (int r = 1; r <= teachers; ++r) {
            t.name(r, person(m_org.kod * 3 + r) + QStringLiteral(", ") +
                          QString::fromUtf8(subjects[rng.range(0, 3)]));
            const int born = rng.range(1958, 1994);
            t.set(r, 1, born);
            t.set(r, 2, std::max(0, m_year - 1 - born - rng.range(21, 24)));
            t.set(r, 3, rng.range(1, 2));
            t.set(r, 4, rng.range(9, 27));
            t.set(r, 5, rng.range(1, 3));
        }
        return t.take();
    }

    FilledReport buildF51() {
        Rng rng = rngFor(QStringLiteral("F51"));
        Table t(QStringLiteral("F51"), 8, 28);
        for (int r = 1; r <= 8; ++r)
            for (int c = 1; c <= 28; ++c)
                t.set(r, c, 0);
        auto spread = [&](int col, double all) {
            double left = all;
            for (int r = 7; r >= 2; --r) {
                const double v = std::floor(left * rng.fraction(0.0, 0.35));
                t.set(r, col, v);
                left -= v;
            }
            t.set(1, col, left);
        };
        for (int g = 1; g <= 11; ++g) {
            spread(1 + g, grade(1, g));
            for (int r = 1; r <= 7; ++r)
                t.set(r, 12 + g, std::floor(t.num(r, 1 + g) * rng.fraction(0.4, 0.6)));
        }
        spread(24, m_f1.num(1, 7));
        spread(26, m_f1.num(1, 13));
        for (int r = 1; r <= 7; ++r) {
            t.set(r, 25, std::floor(t.num(r, 24) / 2));
            t.set(r, 27, std::floor(t.num(r, 26) / 2));
            t.set(r, 1, t.sum(r, 2, 12));
        }
        for (int c = 1; c <= 28; ++c) {
            double s = 0;
            for (int r = 1; r <= 7; ++r)
                s += t.num(r, c);
            t.set(8, c, s); // the last row sums the others (group 51)
        }
        return t.take();
    }

    const Organisation &m_org;
    int m_year;
    Table m_f1{QStringLiteral("F1"), 4, 16};
};

} // namespace

const QVector<Organisation> &Organisations() {
    static const QVector<Organisation> list = makeOrganisations();
    return list;
}

const Organisation *FindOrganisation(int kod) {
    for (const Organisation &o : Organisations())
        if (o.kod == kod)
            return &o;
    return nullptr;
}

QVector<int> OrganisationsWithData(int year) {
    if (year == 2016)
        return {1, 2, 3, 7, 12, 17, 26, 40, 51};
    if (year == 2017)
        return {1, 2, 7, 17, 33};
    return {};
}

QVector<FilledReport> FilledReports(const Organisation &org, int year) {
    // Organisation 40 has only begun its reports of 2016.
    const bool onlyGeneral = org.kod == 40 && year == 2016;
    return OrgReports(org, year).build(onlyGeneral);
}

const QVector<KnownFault> &KnownFaults() {
    static const QVector<KnownFault> faults = {
        {7, 2016, QStringLiteral("F3A"),
         QStringLiteral("F3A: row 1 is not the sum of rows 2 and 3 in N2 and N13")},
        {12, 2016, QStringLiteral("F47"),
         QStringLiteral("F47: row 5 N2 exceeds the sum of rows 1 to 4 and F1 N2 by 2")}};
    return faults;
}

QString AgeRowCaption(int group, int year, int row) {
    const int y = year;
    if (group == 12) {
        static const char *const tails[] = {
            " г.| г |  5 лет  |  Число", " г.| о |  6 лет  |",         " г.| д |  7 лет  |  полных",
            " г.|   |  8 лет  |",        " г.| р |  9 лет  |   лет",   " г.| о | 10 лет  |",
            " г.| ж | 11 лет  |    на",  " г.| д | 12 лет  |",         " г.| е | 13 лет  |    1",
            " г.| н | 14 лет  |",        " г.| и | 15 лет  |  января", " г.| я | 16 лет  |",
            " г.|   | 17 лет  |  ",      " г.|   | 18 лет и старше"};
        QString text = QString::number(y - 5 - row) + QString::fromUtf8(tails[row - 1]);
        if (row == 13)
            text += QString::number(y) + QStringLiteral(" г.");
        return text;
    }
    if (row == 1)
        return QStringLiteral("На 01/01/") + QString::number(y % 100) +
               QStringLiteral(" -5 полных лет, год рожд.") + QString::number(y - 5);
    if (row == 14)
        return QStringLiteral("18 лет и старше, ") + QString::number(y - 19) +
               QStringLiteral("г.  и раньше");
    return QString::number(row + 4) + QStringLiteral(" лет, ") + QString::number(y - 5 - row);
}

Requisites OwnRequisites() {
    return {QStringLiteral("Отдел образования администрации Абзановского района"),
            QStringLiteral("453620, Абзановский район, с. Березовка, ул. Ленина, д. 12"),
            QStringLiteral("(3471) 2-14-05"),
            QStringLiteral("Галиев Р.М."),
            QStringLiteral("Кузнецова Е.А."),
            QStringLiteral("Сафина Л.Ф."),
            QStringLiteral("02104575"),
            QStringLiteral("0201004517")};
}

QVector<SvodSet> SvodSets() {
    return {
        {1, QStringLiteral("Все учреждения"), QStringLiteral("Свод по всем организациям")},
        {2, QStringLiteral("Учреждения районов"), QStringLiteral("Признак KODCITY = 1")},
        {3, QStringLiteral("Учреждения городов"), QStringLiteral("Признак KODCITY = 2")},
        {4, QStringLiteral("Республиканские учреждения"), QStringLiteral("Признак KODCITY = 3")},
        {5, QStringLiteral("Сельские учреждения"), QStringLiteral("Признак 1 = 1")},
        {6, QStringLiteral("Малокомплектные школы"), QStringLiteral("Признак 2 = 1")},
        {7, QStringLiteral("Начальные общеобразовательные школы"),
         QStringLiteral("Тип школы = 1 (НОШ)")},
        {8, QStringLiteral("Самостоятельные учреждения (юр. лица)"),
         QStringLiteral("Признак самостоятельности = 1")}};
}

QVector<FormRule> FormRules() {
    const int f1 = ReportCode(QStringLiteral("F1"));
    const int f3a = ReportCode(QStringLiteral("F3A"));
    const int f4r2 = ReportCode(QStringLiteral("F4R2"));
    const int f47 = ReportCode(QStringLiteral("F47"));
    const int f51 = ReportCode(QStringLiteral("F51"));
    const int n1 = FirstDataColumn;       // form column of N1
    const int n13 = FirstDataColumn + 12; // form column of N13
    return {
        // Check rows: a cell must equal a formula over other rows of its column.
        {QStringLiteral("A1"), QStringLiteral("Общие сведения об учащихся"), f1, 0,
         QStringLiteral("A2+A3"), QStringLiteral("01"),
         QStringLiteral("Всего = городская + сельская местность"), QString()},
        {QStringLiteral("A1"), QStringLiteral("Изучение родных языков: 2-4 классы"), f3a, n13,
         QStringLiteral("A2+A3"), QStringLiteral("01"),
         QStringLiteral("Итого изучают: всего = город + село"), QString()},
        {QStringLiteral("A1"), QStringLiteral("Изучение родных языков: 2-4 классы"), f3a, n1,
         QStringLiteral("A2+A3"), QStringLiteral("01"),
         QStringLiteral("Всего учащихся = город + село"), QString()},
        {QStringLiteral("A1"), QStringLiteral("Обучение на родных языках: 2-11 классы"), f4r2, n1,
         QStringLiteral("AA1-AA2"), QStringLiteral("01"),
         QStringLiteral("Учащиеся 2-11 классов = всего - 1 классы (F1)"), QString()},
        {QStringLiteral("A5"), QStringLiteral("Учащиеся по языку обучения"), f47, 0,
         QStringLiteral("A1+A2+A3+A4"), QStringLiteral("05"),
         QStringLiteral("Всего = сумма строк 1-4"), QString()},
        {QStringLiteral("A8"), QStringLiteral("Национальный состав учащихся"), f51, 0,
         QStringLiteral("A1+A2+A3+A4+A5+A6+A7"), QStringLiteral("08"),
         QStringLiteral("Итого = сумма строк 1-7"), QString()},
        // Definition rows: named values taken from single cells.
        {QString(), QStringLiteral("Общие сведения об учащихся"), f1, n1, QString(),
         QStringLiteral("1"), QStringLiteral("Всего учащихся"), QStringLiteral("1")},
        {QString(), QStringLiteral("Общие сведения об учащихся"), f1, n1 + 1, QString(),
         QStringLiteral("1"), QStringLiteral("Учащиеся 1 классов"), QStringLiteral("2")},
    };
}

QVector<ProvRule> ProvRules() {
    const int f0 = ReportCode(QStringLiteral("F0"));
    const int f1 = ReportCode(QStringLiteral("F1"));
    const int f3a = ReportCode(QStringLiteral("F3A"));
    const int f7 = ReportCode(QStringLiteral("F7"));
    const int f7a = ReportCode(QStringLiteral("F7A"));
    const int f47 = ReportCode(QStringLiteral("F47"));
    return {
        {f0, 9, QStringLiteral("09"), QStringLiteral("N1"), f1, 1, QStringLiteral("01"),
         QStringLiteral("N1"), QStringLiteral("Численность учащихся - как в разделе 1")},
        {f3a, 1, QStringLiteral("01"), QStringLiteral("N1"), f1, 1, QStringLiteral("01"),
         QStringLiteral("N3"), QStringLiteral("Учащиеся 2-4 классов - как в разделе 1")},
        {f7, 1, QStringLiteral("01"), QStringLiteral("N1"), f1, 1, QStringLiteral("01"),
         QStringLiteral("N1-N3"), QStringLiteral("Учащиеся без 2-4 классов - по разделу 1")},
        {f7a, 1, QStringLiteral("01"), QStringLiteral("N1"), f1, 1, QStringLiteral("01"),
         QStringLiteral("N1"), QStringLiteral("Всего учащихся - как в разделе 1")},
        {f47, 5, QStringLiteral("05"), QStringLiteral("N2"), f1, 1, QStringLiteral("01"),
         QStringLiteral("N2"), QStringLiteral("Учащиеся 1 классов - как в разделе 1")},
    };
}

} // namespace demo
