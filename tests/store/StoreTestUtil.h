#pragma once
// Helpers shared by the table-layer tests: a scratch folder, raw file bytes,
// and hand-made dBASE images for the cases no writer would produce.

#include "store/Dataset.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace storetest {

inline QByteArray readBytes(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

inline void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline std::uint32_t headerCount(const QByteArray &b) {
    auto u = [&](int i) { return std::uint32_t(static_cast<unsigned char>(b[i])); };
    return u(4) | (u(5) << 8) | (u(6) << 16) | (u(7) << 24);
}
inline int headerLength(const QByteArray &b) {
    return static_cast<unsigned char>(b[8]) | (static_cast<unsigned char>(b[9]) << 8);
}
inline int recordLength(const QByteArray &b) {
    return static_cast<unsigned char>(b[10]) | (static_cast<unsigned char>(b[11]) << 8);
}
// The bytes of physical record i (deletion flag included).
inline QByteArray recordBytes(const QByteArray &b, int i) {
    return b.mid(headerLength(b) + i * recordLength(b), recordLength(b));
}

struct RawField {
    std::string name;
    char type;
    int length;
    int decimals = 0;
};

// A dBASE image built byte by byte; records are given as their full bytes
// (flag first). Fields of the header can be spoiled afterwards by the test.
inline QByteArray makeImage(const std::vector<RawField> &fields,
                            const std::vector<std::string> &records, unsigned char version = 0x03,
                            bool eof = true) {
    const int n = int(fields.size());
    const int headerLen = 32 + 32 * n + 1;
    int recLen = 1;
    for (const auto &f : fields)
        recLen += f.length;
    QByteArray b(headerLen, '\0');
    b[0] = char(version);
    b[1] = char(116);
    b[2] = 1;
    b[3] = 1;
    const auto count = std::uint32_t(records.size());
    b[4] = char(count & 0xFF);
    b[5] = char((count >> 8) & 0xFF);
    b[8] = char(headerLen & 0xFF);
    b[9] = char(headerLen >> 8);
    b[10] = char(recLen & 0xFF);
    b[11] = char(recLen >> 8);
    for (int i = 0; i < n; ++i) {
        char *d = b.data() + 32 + 32 * i;
        std::memcpy(d, fields[i].name.data(), fields[i].name.size());
        d[11] = fields[i].type;
        d[16] = char(fields[i].length);
        d[17] = char(fields[i].decimals);
    }
    b[headerLen - 1] = 0x0D;
    for (const auto &r : records) {
        std::string rec = r;
        rec.resize(std::size_t(recLen), ' ');
        b.append(rec.data(), qsizetype(rec.size()));
    }
    if (eof)
        b.append(char(0x1A));
    return b;
}

// A scratch folder with a connection open on it.
class Folder {
public:
    Folder() {
        EXPECT_TRUE(m_dir.isValid());
        con.setFolder(m_dir.path());
        con.Open();
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    void openTable(store::TADODataSet &ds, const QString &sql) {
        ds.setConnection(&con);
        ds.setCommandText(sql);
        ds.Open();
    }
    store::TADOConnection con;

private:
    QTemporaryDir m_dir;
};

} // namespace storetest
