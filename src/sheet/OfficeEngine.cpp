#include "sheet/OfficeEngine.h"

#include "sheet/DesktopOpener.h"
#include "sheet/PrintQueue.h"
#include "store/SystemError.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/BorderLineStyle.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/CellOrientation.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/TableBorder2.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <cerrno>
#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

using namespace com::sun::star;
using rtl::OUString;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

namespace sheet {

namespace {

OUString toOUString(const QString &s) {
    return OUString(reinterpret_cast<const sal_Unicode *>(s.utf16()), s.size());
}

QString toQString(const OUString &s) {
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(s.getStr()), s.getLength());
}

OUString fileUrl(const QString &path) {
    return toOUString(
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
}

beans::PropertyValue property(const char *name, const Any &value) {
    beans::PropertyValue p;
    p.Name = OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

Sequence<beans::PropertyValue> properties(std::initializer_list<beans::PropertyValue> list) {
    return Sequence<beans::PropertyValue>(list.begin(), static_cast<sal_Int32>(list.size()));
}

// Runs an office call and turns the office's exceptions into Error with the
// given description: what the user was doing, not the office's inner
// reasons. A connection that has gone (the office ended, or the link to it
// broke) is EndedError, for the engine to find out which.
template <class F> auto guarded(const QString &what, F &&call) -> decltype(call()) {
    try {
        return call();
    } catch (const Error &) {
        throw;
    } catch (const lang::DisposedException &) {
        throw EndedError(what);
    } catch (const uno::Exception &) {
        throw Error(what);
    }
}

// Why the program did not start. QProcess says it only in English, so the
// system's reason is found again by asking for the same right to run it.
QString startFailure(const QProcess &process) {
    if (process.error() == QProcess::Timedout)
        return store::systemErrorText(ETIMEDOUT);
    QString path = process.program();
    if (!path.contains(QLatin1Char('/')))
        path = QStandardPaths::findExecutable(path);
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    int err = 0;
    if (path.isEmpty())
        err = ENOENT;
    else if (::access(native.constData(), X_OK) != 0)
        err = errno;
    else if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        err = EACCES; // a folder, which may be entered but not run
    return err != 0 ? store::systemErrorText(err) : QStringLiteral("программа не запускается");
}

void requireCell(int row, int column) {
    if (row < 1 || column < 1)
        throw Error(
            QStringLiteral("Неверный адрес ячейки: строка %1, столбец %2").arg(row).arg(column));
}

// The component context of this process, made once: it only serves to reach
// the office over the pipe. It takes the office's type libraries through the
// office's bootstrap file, which URE_BOOTSTRAP names while the context is
// made; the variable is put back as it was so that no other program started
// from here sees it.
Reference<uno::XComponentContext> localContext() {
    static const Reference<uno::XComponentContext> context = [] {
        const QByteArray name("URE_BOOTSTRAP");
        const bool wasSet = qEnvironmentVariableIsSet(name.constData());
        if (!wasSet)
            qputenv(name.constData(), "vnd.sun.star.pathname:" KVR_LO_PROGRAM_DIR "/fundamentalrc");
        struct Restore {
            const QByteArray &name;
            bool wasSet;
            ~Restore() {
                if (!wasSet)
                    qunsetenv(name.constData());
            }
        } restore{name, wasSet};
        return cppu::defaultBootstrap_InitialComponentContext();
    }();
    return context;
}

std::atomic<int> pipeCounter{0};

// The private profiles are temporary folders named after the program's
// process, so that the next start can tell those of a program that has gone.
const QString kProfilePrefix = QStringLiteral("kvr-office-");
const QString kPipePrefix = QStringLiteral("kvr_sheet_");

bool processAlive(qint64 pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The pipe by which an office finds another one on the same profile: named
// after the MD5 of the profile's URL in UTF-16, each byte in hex without
// leading zeros.
QString profilePipeName(const QString &profileUrl) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char *>(profileUrl.utf16()), profileUrl.size() * 2),
        QCryptographicHash::Md5);
    QString name = QStringLiteral("SingleOfficeIPC_");
    for (const char byte : digest)
        name += QString::number(static_cast<unsigned char>(byte), 16);
    return name;
}

void removePipeSocket(const QString &name) {
    for (const char *folder : {"/tmp", "/var/tmp"})
        QFile::remove(QStringLiteral("%1/OSL_PIPE_%2_%3").arg(folder).arg(::getuid()).arg(name));
}

QString profileUrlOf(const QString &folder) {
    return QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded);
}

// Removes what offices of programs that ended without ending them (a crash)
// left: their profile folders and the socket files of their pipes.
void removeLeftovers() {
    const QDir temporary(QDir::tempPath());
    for (const QFileInfo &entry : temporary.entryInfoList({kProfilePrefix + QStringLiteral("*")},
                                                          QDir::Dirs | QDir::NoDotAndDotDot)) {
        const qint64 owner =
            entry.fileName().mid(kProfilePrefix.size()).section(u'-', 0, 0).toLongLong();
        if (owner <= 0 || owner == QCoreApplication::applicationPid() || processAlive(owner))
            continue;
        removePipeSocket(profilePipeName(profileUrlOf(entry.absoluteFilePath())));
        QDir(entry.absoluteFilePath()).removeRecursively();
    }
    for (const char *folder : {"/tmp", "/var/tmp"}) {
        const QString prefix = QStringLiteral("OSL_PIPE_%1_").arg(::getuid()) + kPipePrefix;
        for (const QString &name :
             QDir(QString::fromLatin1(folder))
                 .entryList({prefix + QStringLiteral("*")}, QDir::System | QDir::Files)) {
            const qint64 owner = name.mid(prefix.size()).section(u'_', 0, 0).toLongLong();
            if (owner > 0 && owner != QCoreApplication::applicationPid() && !processAlive(owner))
                QFile::remove(QString::fromLatin1(folder) + u'/' + name);
        }
    }
}

// The character set of the locale that the environment sets for a program.
bool utf8Locale(const QProcessEnvironment &environment) {
    QString ctype;
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        ctype = environment.value(QString::fromLatin1(name));
        if (!ctype.isEmpty())
            break;
    }
    const QString codeset = ctype.section(u'.', 1).section(u'@', 0, 0).toLower().remove(u'-');
    return codeset == u"utf8";
}

// The import filters of spreadsheets. Anything else that the office can
// open (its text and web import, a text document) is no template.
bool spreadsheetFilter(const QString &filter) {
    static const QStringList prefixes = {
        QStringLiteral("MS Excel"),
        QStringLiteral("Calc MS Excel"),
        QStringLiteral("Calc Office Open XML"),
        QStringLiteral("calc_MS_Excel"),
        QStringLiteral("calc8"),
        QStringLiteral("calc_StarOffice"),
        QStringLiteral("StarOffice XML (Calc)"),
        QStringLiteral("OpenDocument Spreadsheet"),
        QStringLiteral("calc_OOXML"),
    };
    for (const QString &prefix : prefixes)
        if (filter.startsWith(prefix))
            return true;
    return false;
}

// The exit code by which the office asks to be started again.
constexpr int kRestartExitCode = 81;

// Sends a signal to the private office's process group (the office and
// anything it has started).
void signalGroup(qint64 leader, int sig) {
    if (leader > 0)
        ::kill(-static_cast<pid_t>(leader), sig);
}

bool groupAlive(qint64 leader) {
    return leader > 0 && ::kill(-static_cast<pid_t>(leader), 0) == 0;
}

// The office's runtime writes to the pipe without suppressing SIGPIPE: an
// office that ends while a call is on its way would end this program with
// it. Ignored unless this program has its own handler; the write then fails
// and the call reports the failure.
void ignoreBrokenPipes() {
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        ::signal(SIGPIPE, SIG_IGN);
}

// The private office's settings, written into its new profile before it
// starts: no locking of documents at all (UseLocking; the two kinds of lock
// alone still leave the office its lock file ".~lock.<name>#" beside every
// document it opens). A lock left by an office that was ended, or held by
// the user's own office showing the same working copy, would otherwise make
// every later open of that file fail, and an office that is ended leaves its
// lock file behind.
bool writeProfileSettings(const QString &profile) {
    if (!QDir(profile).mkpath(QStringLiteral("user")))
        return false;
    QFile file(profile + QStringLiteral("/user/registrymodifications.xcu"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray xcu =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
        "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
        "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop "
        "oor:name=\"UseDocumentOOoLockFile\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop "
        "oor:name=\"UseDocumentSystemFileLocking\" "
        "oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop "
        "oor:name=\"UseLocking\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
        "</oor:items>\n";
    return file.write(xcu) == xcu.size();
}

// Readies the PostScript file that pdftocairo wrote for the queue. Every
// font it defines gets a name of its own: pdftocairo writes each subset of a
// font under the font's own name, and a printer or converter that keeps
// fonts by name (Ghostscript, behind PDF printers) then mixes the subsets up
// and loses the text of one of them. And the document gets its title.
bool preparePostScript(const QString &path, const QString &title) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = file.readAll();
    file.close();
    static const QByteArray key = "\n/FontName /";
    int count = 0;
    for (qsizetype at = text.indexOf(key); at >= 0; at = text.indexOf(key, at + 1)) {
        const qsizetype end = text.indexOf(' ', at + key.size());
        if (end < 0)
            break;
        text.insert(end, "-kvr" + QByteArray::number(++count));
    }
    // The title twice: in the document's information, in UTF-16, for the
    // PDF made of it (a printer without pdfmark passes over it), and after
    // the first line as the header comment, which PDF printers name their
    // files by.
    QString line = title;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    QByteArray utf16 = "\xfe\xff"; // big-endian, marked so
    for (const QChar c : line)
        utf16.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    static const QByteArray setup = "\n%%BeginSetup\n";
    if (const qsizetype at = text.indexOf(setup); at >= 0)
        text.insert(at + setup.size(),
                    "/pdfmark where {pop} {userdict /pdfmark /cleartomark load put} ifelse\n"
                    "[ /Title <" +
                        utf16.toHex() + "> /DOCINFO pdfmark\n");
    const qsizetype firstLine = text.indexOf('\n');
    if (firstLine < 0)
        return false;
    text.insert(firstLine + 1, "%%Title: " + line.toUtf8() + '\n');
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text) == text.size();
}

} // namespace

// One document of the engine, shared by its Workbook and the engine, which
// closes every document still open when it quits.
struct Document {
    Reference<lang::XComponent> component;
    Reference<css::sheet::XSpreadsheetDocument> spreadsheetDocument;
    Reference<css::sheet::XSpreadsheet> firstSheet;
    QString path; // the file the workbook belongs to; empty for a new one
    bool open = false;

    void close() {
        if (!open)
            return;
        open = false;
        try {
            Reference<util::XCloseable> closeable(component, UNO_QUERY);
            if (closeable.is())
                closeable->close(true);
            else if (component.is())
                component->dispose();
        } catch (const uno::Exception &) {
            // The office refused or has gone; the document is dropped either way.
        }
        firstSheet.clear();
        spreadsheetDocument.clear();
        component.clear();
    }
};

// Ends the office when a call into it takes longer than the bound: the
// call then fails instead of hanging the program. One thread per engine,
// started with it, waiting for calls to watch.
class Watchdog {
public:
    explicit Watchdog(std::chrono::milliseconds bound) : m_bound(bound) {
        m_thread = std::thread([this] { run(); });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // Nested calls are watched as one, from the outermost.
    void arm(qint64 processGroup) {
        std::lock_guard lock(m_mutex);
        if (m_depth++ == 0) {
            m_group = processGroup;
            m_deadline = std::chrono::steady_clock::now() + m_bound;
            m_fired = false; // an earlier call's firing is not this one's
            ++m_generation;
        }
        m_changed.notify_all();
    }
    // True when the outermost call ends and the office was ended during it,
    // also when the call itself came back just in time.
    bool disarm() {
        std::lock_guard lock(m_mutex);
        const bool outermost = --m_depth == 0;
        if (outermost)
            ++m_generation;
        m_changed.notify_all();
        return outermost && m_fired;
    }
    // Whether the office was ended during the call being watched now.
    bool fired() const {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }
    std::chrono::milliseconds bound() const { return m_bound; }

private:
    void run() {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            if (m_depth == 0) {
                m_changed.wait(lock);
                continue;
            }
            const auto generation = m_generation;
            if (m_changed.wait_until(lock, m_deadline,
                                     [&] { return m_stop || m_generation != generation; }))
                continue;
            // The call is still running at its deadline: the office has hung.
            m_fired = true;
            signalGroup(m_group, SIGKILL);
            m_changed.wait(lock, [&] { return m_stop || m_generation != generation; });
        }
    }

    const std::chrono::milliseconds m_bound;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
    int m_depth = 0;
    unsigned m_generation = 0;
    qint64 m_group = 0;
    std::chrono::steady_clock::time_point m_deadline;
    bool m_fired = false;
    bool m_stop = false;
};

struct OfficeEngine::Impl {
    Options options;
    QTemporaryDir profile{QDir::tempPath() + u'/' + kProfilePrefix +
                          QString::number(QCoreApplication::applicationPid()) +
                          QStringLiteral("-XXXXXX")};
    std::unique_ptr<Watchdog> watchdog;
    QProcess process;
    qint64 pid = 0;
    QString pipe;
    QString profileUrl; // as the office was given it
    bool running = false;
    Reference<uno::XComponentContext> remote;
    Reference<frame::XDesktop2> desktop;
    std::vector<std::weak_ptr<Document>> documents;

    ~Impl() { shutdown(); }

    void start();
    void launch();
    void shutdown() noexcept;
    void endProcess(bool asked) noexcept;
    void requireRunning() const {
        if (hung)
            throw TimeoutError(hungMessage());
        if (ended)
            throw EndedError(endedMessage());
        if (!running)
            throw Error(QStringLiteral("Табличный процессор уже закрыт"));
    }
    QString hungMessage() const {
        return QStringLiteral("Табличный процессор не ответил за %1 с и был остановлен")
            .arg(options.callTimeoutMs / 1000.0);
    }
    static QString endedMessage() { return QStringLiteral("Табличный процессор завершил работу"); }
    // Watches one call into the office: an office that does not answer
    // within the bound is ended, and the engine is then hung, whatever the
    // call itself came back with.
    struct Watch {
        Impl &impl;
        explicit Watch(Impl &i) : impl(i) { impl.watchdog->arm(impl.pid); }
        ~Watch() {
            if (impl.watchdog->disarm())
                impl.hung = true;
        }
        Watch(const Watch &) = delete;
        Watch &operator=(const Watch &) = delete;
    };
    // Runs a call into the office under the watchdog: an office that does
    // not answer within the bound is ended, and the call fails; so does a
    // call to an office that has ended by itself.
    template <class F> auto call(const QString &what, F &&f) -> decltype(f()) {
        requireRunning();
        Watch watch(*this);
        const auto timedOut = [&] {
            hung = true;
            return TimeoutError(what + QStringLiteral(": ") + hungMessage());
        };
        try {
            return guarded(what, std::forward<F>(f));
        } catch (const EndedError &e) {
            if (watchdog->fired())
                throw timedOut();
            if (!processEnded())
                throw Error(e.message()); // the link broke while the office runs
            ended = true;
            throw EndedError(what + QStringLiteral(": ") + endedMessage());
        } catch (const Error &) {
            if (watchdog->fired())
                throw timedOut();
            throw;
        }
    }
    // Whether the office's process has ended, once its connection has gone:
    // it goes with its process, which then takes a moment to end.
    bool processEnded() {
        return process.state() == QProcess::NotRunning || process.waitForFinished(5000);
    }
    bool hung = false;
    bool ended = false;
    // Closing is watched too: an office that hangs while it closes a
    // document is ended like one that hangs in any other call.
    void closeDocument(Document &document) noexcept {
        if (running && !hung && !ended) {
            Watch watch(*this);
            document.close();
        } else {
            document.close();
        }
    }
    void closeDocuments() noexcept {
        for (auto &weak : documents)
            if (auto document = weak.lock())
                closeDocument(*document);
        documents.clear();
    }
    std::shared_ptr<Document> load(const OUString &url, const QString &path);
    bool show(const QString &path);
};

void OfficeEngine::Impl::launch() {
    process.start();
    if (!process.waitForStarted(30000))
        throw Error(QStringLiteral("Не удалось запустить табличный процессор (%1): %2")
                        .arg(process.program(), startFailure(process)));
    pid = process.processId();
}

void OfficeEngine::Impl::start() {
    const QString program = options.officeProgram.isEmpty() ? QStringLiteral(KVR_SOFFICE_BIN_PATH)
                                                            : options.officeProgram;
    removeLeftovers();
    if (!profile.isValid() || !writeProfileSettings(profile.path()))
        throw Error(QStringLiteral("Не удалось создать временную папку для табличного процессора"));
    ignoreBrokenPipes();
    watchdog = std::make_unique<Watchdog>(std::chrono::milliseconds(options.callTimeoutMs));
    pipe = QStringLiteral("%1%2_%3_%4")
               .arg(kPipePrefix)
               .arg(QCoreApplication::applicationPid())
               .arg(pipeCounter.fetch_add(1))
               .arg(QUuid::createUuid().toString(QUuid::Id128));
    profileUrl = profileUrlOf(profile.path());
    process.setProgram(program);
    process.setArguments({
        QStringLiteral("--headless"),
        QStringLiteral("--invisible"),
        QStringLiteral("--norestore"),
        QStringLiteral("--nologo"),
        QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"),
        QStringLiteral("-env:UserInstallation=") + profileUrl,
        QStringLiteral("--accept=pipe,name=%1;urp;").arg(pipe),
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SAL_ENABLE_FILE_LOCKING"), QStringLiteral("1"));
    // The office's own temporary files go into the profile, so that they
    // are removed with it even when the office had to be ended by force.
    const QString temporary = profile.path() + QStringLiteral("/tmp");
    if (QDir(temporary).mkpath(QStringLiteral(".")))
        environment.insert(QStringLiteral("TMPDIR"), temporary);
    // The office turns file URLs into file names through the character set
    // of its locale, while this program names files in UTF-8 whatever the
    // locale: under the C locale or a single-byte one (ru_RU.CP1251) a
    // Cyrillic name cannot be opened. There it runs under C.UTF-8.
    if (!utf8Locale(environment))
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier([] {
        // Its own process group, so that ending the engine ends whatever the
        // office starts as well; and ended by the system if this process
        // dies without ending it.
        ::setsid();
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    launch();
    running = true;

    const OUString url =
        toOUString(QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipe));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.connectTimeoutMs);
    int restarts = 0;
    guarded(QStringLiteral("Не удалось подключиться к табличному процессору"), [&] {
        Reference<bridge::XUnoUrlResolver> resolver =
            bridge::UnoUrlResolver::create(localContext());
        for (;;) {
            try {
                remote.set(resolver->resolve(url), UNO_QUERY_THROW);
                break;
            } catch (const connection::NoConnectException &) {
                // Waits a little for the office to get ready, and sees
                // whether it has ended meanwhile.
                if (process.waitForFinished(50)) {
                    // The office asks to be started again after it has set up
                    // a new profile, as its start script would do.
                    if (process.exitStatus() == QProcess::NormalExit &&
                        process.exitCode() == kRestartExitCode && restarts++ < 2) {
                        launch();
                        continue;
                    }
                    throw Error(QStringLiteral("Табличный процессор завершился при запуске"));
                }
                if (std::chrono::steady_clock::now() > deadline)
                    throw Error(QStringLiteral("Табличный процессор не отвечает"));
            }
        }
        desktop = frame::Desktop::create(remote);
    });
}

void OfficeEngine::Impl::shutdown() noexcept {
    if (!running)
        return;
    closeDocuments();
    bool asked = false;
    if (desktop.is() && !hung && !ended) {
        try {
            watchdog->arm(pid);
            asked = desktop->terminate(); // false: it refused, so it is ended below
        } catch (const uno::Exception &) {
            asked = true; // the connection drops while the office ends: the normal case
        }
        watchdog->disarm();
    }
    desktop.clear();
    remote.clear();
    endProcess(asked);
    running = false;
}

// Waits for the office to end after it was asked to, and ends it by its
// process group when it was not asked (it never connected) or does not end.
void OfficeEngine::Impl::endProcess(bool asked) noexcept {
    if (process.state() != QProcess::NotRunning && !(asked && process.waitForFinished(20000))) {
        signalGroup(pid, SIGTERM);
        if (!process.waitForFinished(5000)) {
            signalGroup(pid, SIGKILL);
            process.waitForFinished(5000);
        }
    }
    // The office has ended; anything it started that is still there goes too.
    if (groupAlive(pid))
        signalGroup(pid, SIGKILL);
    pid = 0;
    // An office that was killed leaves its pipe's socket file behind, and
    // that of the pipe by which an office finds another on its profile.
    removePipeSocket(pipe);
    removePipeSocket(profilePipeName(profileUrl));
}

std::shared_ptr<Document> OfficeEngine::Impl::load(const OUString &url, const QString &path) {
    requireRunning();
    auto document = std::make_shared<Document>();
    document->path = path;
    // What the failure is said as: an office that did not answer has not
    // found the file damaged, and is said as not answering (call()).
    const QString what = path.isEmpty()
                             ? QStringLiteral("Не удалось создать книгу")
                             : QStringLiteral("Не удалось открыть файл \"%1\"").arg(path);
    const QString damaged = path.isEmpty()
                                ? what
                                : QStringLiteral("Файл \"%1\" не удаётся прочитать: он повреждён "
                                                 "или это не электронная таблица")
                                      .arg(path);
    call(what, [&] {
        const Sequence<beans::PropertyValue> arguments = properties({
            property("Hidden", Any(true)),
            property("MacroExecutionMode", Any(document::MacroExecMode::NEVER_EXECUTE)),
            property("UpdateDocMode", Any(document::UpdateDocMode::NO_UPDATE)),
        });
        Reference<lang::XComponent> component = guarded(damaged, [&] {
            return desktop->loadComponentFromURL(url, OUString("_blank"), 0, arguments);
        });
        if (!component.is())
            throw Error(damaged);
        document->component = component;
        document->open = true;
        try {
            // Only what a spreadsheet filter read: the office opens any
            // file, damaged ones and texts through its text import.
            if (!path.isEmpty()) {
                QString filter;
                Reference<frame::XModel> model(component, UNO_QUERY_THROW);
                for (const beans::PropertyValue &argument : model->getArgs()) {
                    OUString name;
                    if (argument.Name == "FilterName" && (argument.Value >>= name))
                        filter = toQString(name);
                }
                if (!spreadsheetFilter(filter))
                    throw Error(damaged);
            }
            document->spreadsheetDocument.set(component, UNO_QUERY);
            if (!document->spreadsheetDocument.is())
                throw Error(damaged);
            Reference<container::XIndexAccess> sheets(document->spreadsheetDocument->getSheets(),
                                                      UNO_QUERY_THROW);
            document->firstSheet.set(sheets->getByIndex(0), UNO_QUERY_THROW);
        } catch (...) {
            document->close();
            throw;
        }
    });
    std::erase_if(documents, [](const std::weak_ptr<Document> &d) { return d.expired(); });
    documents.push_back(document);
    return document;
}

bool OfficeEngine::Impl::show(const QString &path) {
    if (options.viewer)
        return options.viewer(path);
    // Only a program that the desktop names for spreadsheets: the desktop's
    // opener would otherwise try an office without windows, which fails and
    // leaves its lock file beside the list.
    return openWithDesktopProgram(path);
}

namespace {

class OfficeWorkbook : public Workbook {
public:
    OfficeWorkbook(std::shared_ptr<OfficeEngine::Impl> engine, std::shared_ptr<Document> document)
        : m_engine(std::move(engine)), m_document(std::move(document)) {}
    ~OfficeWorkbook() override { m_engine->closeDocument(*m_document); }

    Value value(int row, int column) const override {
        requireCell(row, column);
        return values(row, column, 1, 1).front().front();
    }

    void setValue(int row, int column, const Value &value) override {
        requireCell(row, column);
        setValues(row, column, Table{{value}});
    }

    Table values(int top, int left, int rows, int columns) const override {
        requireCell(top, left);
        if (rows <= 0 || columns <= 0)
            return {};
        requireOpen();
        return m_engine->call(QStringLiteral("Не удалось прочитать ячейки"), [&] {
            Reference<css::sheet::XCellRangeData> data(
                range(top, left, top + rows - 1, left + columns - 1), UNO_QUERY_THROW);
            const Sequence<Sequence<Any>> array = data->getDataArray();
            Table table;
            table.reserve(array.getLength());
            for (const Sequence<Any> &line : array) {
                std::vector<Value> out;
                out.reserve(line.getLength());
                for (const Any &cell : line) {
                    double number = 0;
                    OUString text;
                    if (cell >>= number)
                        out.push_back(Value::number(number));
                    else if (cell >>= text)
                        out.push_back(Value::text(toQString(text)));
                    else
                        out.emplace_back();
                }
                table.push_back(std::move(out));
            }
            return table;
        });
    }

    void setValues(int top, int left, const Table &cells) override {
        requireCell(top, left);
        if (cells.empty() || cells.front().empty())
            return;
        const std::size_t width = cells.front().size();
        for (const auto &line : cells)
            if (line.size() != width)
                throw Error(QStringLiteral("Записываемый блок ячеек не прямоугольный"));
        requireOpen();
        const int bottom = top + static_cast<int>(cells.size()) - 1;
        const int right = left + static_cast<int>(width) - 1;
        m_engine->call(QStringLiteral("Не удалось записать ячейки"), [&] {
            const Reference<table::XCellRange> target = range(top, left, bottom, right);
            const bool numbers = std::any_of(cells.begin(), cells.end(), [](const auto &line) {
                return std::any_of(line.begin(), line.end(),
                                   [](const Value &v) { return v.isNumber(); });
            });
            const std::vector<table::CellRangeAddress> textAreas =
                numbers ? textFormatted(target) : std::vector<table::CellRangeAddress>{};
            auto inText = [&](sal_Int32 row, sal_Int32 column) {
                return std::any_of(textAreas.begin(), textAreas.end(), [&](const auto &a) {
                    return a.StartRow <= row && row <= a.EndRow && a.StartColumn <= column &&
                           column <= a.EndColumn;
                });
            };
            Sequence<Sequence<Any>> array(static_cast<sal_Int32>(cells.size()));
            auto *lines = array.getArray();
            for (std::size_t r = 0; r < cells.size(); ++r) {
                Sequence<Any> line(static_cast<sal_Int32>(width));
                auto *out = line.getArray();
                for (std::size_t c = 0; c < width; ++c) {
                    const Value &v = cells[r][c];
                    if (v.isNumber() && !inText(top - 1 + sal_Int32(r), left - 1 + sal_Int32(c)))
                        out[c] <<= v.toNumber();
                    else
                        out[c] <<= toOUString(v.toText()); // empty text: an empty cell
                }
                lines[r] = line;
            }
            Reference<css::sheet::XCellRangeData>(target, UNO_QUERY_THROW)->setDataArray(array);
        });
    }

    void insertRowCopy(int row) override { insertRowCopies(row, 1); }

    void insertRowCopies(int row, int count) override {
        requireCell(row, 1);
        if (count <= 0)
            return;
        requireOpen();
        const QString what = QStringLiteral("Не удалось вставить строку %1").arg(row);
        m_engine->call(what, [&] {
            const Reference<css::sheet::XSpreadsheet> &sheet = m_document->firstSheet;
            Reference<table::XColumnRowRange> columnsRows(sheet, UNO_QUERY_THROW);
            Reference<table::XTableRows> rows = columnsRows->getRows();
            const sal_Int32 target = row - 1; // the office counts from 0
            // Only the width in use is copied: the whole row of a sheet has
            // 16384 columns, and copying them costs time and the office's
            // memory. An .XLS sheet has 256 columns at most; anything beyond
            // them that this workbook holds is in its used area.
            Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
            Reference<css::sheet::XUsedAreaCursor>(cursor, UNO_QUERY_THROW)
                ->gotoEndOfUsedArea(false);
            const sal_Int32 usedEnd =
                Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)
                    ->getRangeAddress()
                    .EndColumn;
            const sal_Int32 lastColumn = std::max<sal_Int32>(255, usedEnd);
            // A row inside cells merged across rows cannot be copied as a
            // row of its own.
            Reference<css::sheet::XSheetCellCursor> merged =
                sheet->createCursorByRange(Reference<css::sheet::XSheetCellRange>(
                    sheet->getCellRangeByPosition(0, target, lastColumn, target), UNO_QUERY_THROW));
            merged->collapseToMergedArea();
            const table::CellRangeAddress mergedArea =
                Reference<css::sheet::XCellRangeAddressable>(merged, UNO_QUERY_THROW)
                    ->getRangeAddress();
            if (mergedArea.StartRow != target || mergedArea.EndRow != target)
                throw Error(what + QStringLiteral(": она входит в ячейки, объединённые с "
                                                  "соседними строками"));
            rows->insertByIndex(target, count);
            // The original row now stands `count` rows lower: copy it, with
            // its formats, borders and merged cells, into the new rows, the
            // copies doubling at each step.
            const sal_Int32 source = target + count;
            Reference<css::sheet::XCellRangeMovement> movement(sheet, UNO_QUERY_THROW);
            auto address = [&](sal_Int32 first, sal_Int32 last) {
                return Reference<css::sheet::XCellRangeAddressable>(
                           sheet->getCellRangeByPosition(0, first, lastColumn, last),
                           UNO_QUERY_THROW)
                    ->getRangeAddress();
            };
            movement->copyRange(table::CellAddress(address(source, source).Sheet, 0, target),
                                address(source, source));
            for (sal_Int32 copied = 1; copied < count;) {
                const sal_Int32 more = std::min(copied, count - copied);
                const table::CellRangeAddress from = address(target, target + more - 1);
                movement->copyRange(table::CellAddress(from.Sheet, 0, target + copied), from);
                copied += more;
            }
            // The row height is a property of the row, not of its cells.
            Reference<beans::XPropertySet> sourceRow(rows->getByIndex(source), UNO_QUERY_THROW);
            Reference<beans::XPropertySet> targetRows(
                Reference<table::XColumnRowRange>(
                    sheet->getCellRangeByPosition(0, target, 0, target + count - 1),
                    UNO_QUERY_THROW)
                    ->getRows(),
                UNO_QUERY_THROW);
            bool optimal = false;
            sourceRow->getPropertyValue(OUString("OptimalHeight")) >>= optimal;
            if (optimal)
                targetRows->setPropertyValue(OUString("OptimalHeight"), Any(true));
            else
                targetRows->setPropertyValue(OUString("Height"),
                                             sourceRow->getPropertyValue(OUString("Height")));
        });
    }

    void drawBorders(int top, int left, int bottom, int right) override {
        requireRange(top, left, bottom, right);
        requireOpen();
        m_engine->call(QStringLiteral("Не удалось нарисовать рамку"), [&] {
            table::BorderLine2 line;
            line.Color = 0;
            line.LineStyle = table::BorderLineStyle::SOLID;
            line.OuterLineWidth = 26; // a thin line, 0.75 pt (1/100 mm)
            line.LineWidth = 26;
            table::TableBorder2 border;
            border.TopLine = border.BottomLine = border.LeftLine = border.RightLine = line;
            border.HorizontalLine = border.VerticalLine = line;
            border.IsTopLineValid = border.IsBottomLineValid = true;
            border.IsLeftLineValid = border.IsRightLineValid = true;
            border.IsHorizontalLineValid = border.IsVerticalLineValid = true;
            Reference<beans::XPropertySet> props(range(top, left, bottom, right), UNO_QUERY_THROW);
            props->setPropertyValue(OUString("TableBorder2"), Any(border));
        });
    }

    void fitColumns(int top, int left, int bottom, int right) override {
        requireRange(top, left, bottom, right);
        requireOpen();
        // The office fits a column to all its rows. To fit to the rows of the
        // range only, the range is copied to a scratch sheet at the same
        // place, fitted there, and the widths carried back. Columns with
        // nothing in the range keep their width.
        const Table contents = values(top, left, bottom - top + 1, right - left + 1);
        m_engine->call(QStringLiteral("Не удалось подобрать ширину столбцов"), [&] {
            Reference<css::sheet::XSpreadsheets> sheets =
                m_document->spreadsheetDocument->getSheets();
            Reference<container::XIndexAccess> indexed(sheets, UNO_QUERY_THROW);
            const OUString scratchName =
                toOUString(QStringLiteral("kvr_fit_") + QUuid::createUuid().toString(QUuid::Id128));
            const sal_Int16 scratchIndex = static_cast<sal_Int16>(indexed->getCount());
            sheets->insertNewByName(scratchName, scratchIndex);
            struct RemoveScratch {
                Reference<css::sheet::XSpreadsheets> sheets;
                OUString name;
                ~RemoveScratch() {
                    try {
                        sheets->removeByName(name);
                    } catch (const uno::Exception &) {
                    }
                }
            } removeScratch{sheets, scratchName};

            Reference<css::sheet::XCellRangeMovement> movement(m_document->firstSheet,
                                                               UNO_QUERY_THROW);
            Reference<css::sheet::XCellRangeAddressable> source(range(top, left, bottom, right),
                                                                UNO_QUERY_THROW);
            movement->copyRange(table::CellAddress(scratchIndex, left - 1, top - 1),
                                source->getRangeAddress());
            Reference<table::XCellRange> scratch(indexed->getByIndex(scratchIndex),
                                                 UNO_QUERY_THROW);
            Reference<table::XColumnRowRange> scratchRange(
                scratch->getCellRangeByPosition(left - 1, 0, right - 1, 0), UNO_QUERY_THROW);
            Reference<table::XTableColumns> scratchColumns = scratchRange->getColumns();
            Reference<beans::XPropertySet>(scratchColumns, UNO_QUERY_THROW)
                ->setPropertyValue(OUString("OptimalWidth"), Any(true));

            Reference<table::XColumnRowRange> ownRange(range(top, left, bottom, right),
                                                       UNO_QUERY_THROW);
            Reference<table::XTableColumns> ownColumns = ownRange->getColumns();
            for (int c = 0; c <= right - left; ++c) {
                bool filled = false;
                for (const auto &line : contents)
                    filled = filled || !line[c].isEmpty();
                if (!filled)
                    continue;
                Reference<beans::XPropertySet> fitted(scratchColumns->getByIndex(c),
                                                      UNO_QUERY_THROW);
                Reference<beans::XPropertySet> own(ownColumns->getByIndex(c), UNO_QUERY_THROW);
                own->setPropertyValue(OUString("Width"),
                                      fitted->getPropertyValue(OUString("Width")));
            }
        });
    }

    void setTextLayout(int top, int left, int bottom, int right, TextLayout layout) override {
        requireRange(top, left, bottom, right);
        requireOpen();
        m_engine->call(QStringLiteral("Не удалось задать расположение текста"), [&] {
            Reference<beans::XPropertySet> cells(range(top, left, bottom, right), UNO_QUERY_THROW);
            cells->setPropertyValue(OUString("IsTextWrapped"), Any(layout == TextLayout::Wrapped));
            cells->setPropertyValue(OUString("ShrinkToFit"), Any(layout == TextLayout::Upwards));
            cells->setPropertyValue(OUString("Orientation"), Any(table::CellOrientation_STANDARD));
            cells->setPropertyValue(OUString("RotateAngle"),
                                    Any(sal_Int32(layout == TextLayout::Upwards ? 9000 : 0)));
        });
    }

    void mergeCells(int top, int left, int bottom, int right) override {
        requireRange(top, left, bottom, right);
        requireOpen();
        m_engine->call(QStringLiteral("Не удалось объединить ячейки"), [&] {
            Reference<util::XMergeable>(range(top, left, bottom, right), UNO_QUERY_THROW)
                ->merge(true);
        });
    }

    void formatAsText(int top, int left, int bottom, int right) override {
        requireRange(top, left, bottom, right);
        requireOpen();
        m_engine->call(QStringLiteral("Не удалось задать текстовый формат ячеек"), [&] {
            Reference<util::XNumberFormatTypes> types(numberFormats(), UNO_QUERY_THROW);
            const sal_Int32 key =
                types->getStandardFormat(util::NumberFormat::TEXT, css::lang::Locale());
            Reference<beans::XPropertySet>(range(top, left, bottom, right), UNO_QUERY_THROW)
                ->setPropertyValue(OUString("NumberFormat"), Any(key));
        });
    }

    PageSetup pageSetup() const override {
        requireOpen();
        return m_engine->call(QStringLiteral("Не удалось прочитать параметры страницы"), [&] {
            const Reference<beans::XPropertySet> style = pageStyle();
            auto get = [&](const char *name) {
                return style->getPropertyValue(OUString::createFromAscii(name));
            };
            PageSetup setup;
            sal_Int32 width = 0, height = 0;
            sal_Int16 pages = 0, across = 0, down = 0;
            get("Width") >>= width;
            get("Height") >>= height;
            get("IsLandscape") >>= setup.landscape;
            get("ScaleToPages") >>= pages;
            get("ScaleToPagesX") >>= across;
            get("ScaleToPagesY") >>= down;
            setup.fit = pages == 1 || (across == 1 && down == 1) ? PageSetup::Fit::Page
                        : across == 1                            ? PageSetup::Fit::Width
                                                                 : PageSetup::Fit::None;
            bool header = false, footer = false;
            get("HeaderIsOn") >>= header;
            get("FooterIsOn") >>= footer;
            setup.headerAndFooter = header || footer;
            setup.paper = PageSetup::Paper::Other;
            for (const auto &[paper, size] : kPapers) {
                // Sizes in 1/100 mm, as a saved file rounds them.
                if (std::abs(std::min(width, height) - size.first) <= 100 &&
                    std::abs(std::max(width, height) - size.second) <= 100)
                    setup.paper = paper;
            }
            Reference<css::sheet::XPrintAreas> areas(m_document->firstSheet, UNO_QUERY_THROW);
            if (areas->getPrintTitleRows()) {
                const table::CellRangeAddress rows = areas->getTitleRows();
                setup.titleFirstRow = rows.StartRow + 1;
                setup.titleLastRow = rows.EndRow + 1;
            }
            return setup;
        });
    }

    void setPageSetup(const PageSetup &setup) override {
        requireOpen();
        m_engine->call(QStringLiteral("Не удалось задать параметры страницы"), [&] {
            const Reference<beans::XPropertySet> style = pageStyle();
            auto set = [&](const char *name, const Any &value) {
                style->setPropertyValue(OUString::createFromAscii(name), value);
            };
            sal_Int32 width = 0, height = 0;
            style->getPropertyValue(OUString("Width")) >>= width;
            style->getPropertyValue(OUString("Height")) >>= height;
            for (const auto &[paper, size] : kPapers)
                if (paper == setup.paper) {
                    width = size.first;
                    height = size.second;
                }
            if (setup.landscape != (width > height))
                std::swap(width, height);
            set("IsLandscape", Any(setup.landscape));
            set("Width", Any(width));
            set("Height", Any(height));
            set("HeaderIsOn", Any(setup.headerAndFooter));
            set("FooterIsOn", Any(setup.headerAndFooter));
            if (setup.fit == PageSetup::Fit::None) {
                set("PageScale", Any(sal_Int16(100)));
            } else {
                set("ScaleToPagesX", Any(sal_Int16(1)));
                set("ScaleToPagesY", Any(sal_Int16(setup.fit == PageSetup::Fit::Page ? 1 : 0)));
            }
            Reference<css::sheet::XPrintAreas> areas(m_document->firstSheet, UNO_QUERY_THROW);
            const bool titles =
                setup.titleFirstRow >= 1 && setup.titleLastRow >= setup.titleFirstRow;
            if (titles) {
                table::CellRangeAddress rows;
                rows.Sheet = Reference<css::sheet::XCellRangeAddressable>(m_document->firstSheet,
                                                                          UNO_QUERY_THROW)
                                 ->getRangeAddress()
                                 .Sheet;
                rows.StartRow = setup.titleFirstRow - 1;
                rows.EndRow = setup.titleLastRow - 1;
                areas->setTitleRows(rows);
            }
            areas->setPrintTitleRows(titles);
        });
    }

    void formatFigures(int top, int left, int bottom, int right, int decimals) override {
        requireRange(top, left, bottom, right);
        if (decimals < 0)
            throw Error(QStringLiteral("Неверное число знаков после запятой: %1").arg(decimals));
        requireOpen();
        m_engine->call(QStringLiteral("Не удалось задать числовой формат ячеек"), [&] {
            // The plain number of the office's language with the decimals,
            // without thousands separators: "0", "0.00" (or "0,00").
            const Reference<util::XNumberFormats> formats = numberFormats();
            const lang::Locale language;
            const sal_Int32 standard =
                Reference<util::XNumberFormatTypes>(formats, UNO_QUERY_THROW)
                    ->getStandardFormat(util::NumberFormat::NUMBER, language);
            const OUString code = formats->generateFormat(standard, language, false, false,
                                                          static_cast<sal_Int16>(decimals), 1);
            sal_Int32 key = formats->queryKey(code, language, false);
            if (key < 0)
                key = formats->addNew(code, language);
            Reference<beans::XPropertySet> cells(range(top, left, bottom, right), UNO_QUERY_THROW);
            cells->setPropertyValue(OUString("NumberFormat"), Any(key));
            cells->setPropertyValue(OUString("ShrinkToFit"), Any(true));
        });
    }

    void saveAs(const QString &path) override {
        requireOpen();
        const QString absolute = QFileInfo(path).absoluteFilePath();
        const QFileInfo folder(QFileInfo(absolute).absolutePath());
        if (!folder.isDir())
            throw Error(QStringLiteral("Не удалось сохранить файл \"%1\": папки \"%2\" нет")
                            .arg(path, folder.filePath()));
        if (!folder.isWritable() ||
            (QFileInfo::exists(absolute) && !QFileInfo(absolute).isWritable()))
            throw Error(QStringLiteral("Не удалось сохранить файл \"%1\": запись в папку \"%2\" "
                                       "запрещена")
                            .arg(path, folder.filePath()));
        m_engine->call(QStringLiteral("Не удалось сохранить файл \"%1\"").arg(path), [&] {
            Reference<frame::XStorable> storable(m_document->component, UNO_QUERY_THROW);
            storable->storeAsURL(fileUrl(absolute),
                                 properties({property("FilterName", Any(OUString("MS Excel 97"))),
                                             property("Overwrite", Any(true))}));
        });
        m_document->path = absolute;
    }

    // The first sheet goes to the default queue as PostScript, which every
    // queue takes, printer drivers and PDF printers alike: the office
    // writes it as PDF, and poppler's pdftocairo turns that into PostScript
    // that keeps the text of its fonts.
    PrintedJob print(const QString &title) override {
        requireOpen();
        if (defaultPrinter().isEmpty())
            throw Error(QStringLiteral("Принтер по умолчанию не установлен"));
        const QString converter = QStandardPaths::findExecutable(QStringLiteral("pdftocairo"));
        if (converter.isEmpty())
            throw Error(
                QStringLiteral("Для печати нужна программа pdftocairo (пакет poppler-utils)"));
        QTemporaryDir scratch;
        if (!scratch.isValid())
            throw Error(QStringLiteral("Не удалось создать временную папку для печати"));
        const QString pdf = scratch.filePath(QStringLiteral("sheet.pdf"));
        const QString postscript = scratch.filePath(QStringLiteral("sheet.ps"));
        // Said by what is printed: the files it goes through are the
        // program's own.
        exportFirstSheet(pdf,
                         title.isEmpty()
                             ? QStringLiteral("Не удалось подготовить лист к печати")
                             : QStringLiteral("Не удалось подготовить к печати \"%1\"").arg(title));
        QProcess convert;
        convert.setStandardOutputFile(QProcess::nullDevice());
        convert.setStandardErrorFile(QProcess::nullDevice());
        convert.start(converter, {QStringLiteral("-ps"), pdf, postscript});
        if (!convert.waitForFinished(m_engine->options.callTimeoutMs) ||
            convert.exitStatus() != QProcess::NormalExit || convert.exitCode() != 0) {
            convert.kill();
            convert.waitForFinished();
            throw Error(QStringLiteral("Не удалось подготовить лист к печати"));
        }
        if (!preparePostScript(postscript, title))
            throw Error(QStringLiteral("Не удалось подготовить лист к печати"));
        return submitToDefaultPrinter(postscript, title);
    }

    void exportPdf(const QString &path) override {
        exportFirstSheet(path, QStringLiteral("Не удалось сохранить файл \"%1\"").arg(path));
    }

    bool showToUser() override {
        requireOpen();
        if (m_document->path.isEmpty())
            throw Error(QStringLiteral("Книга ещё не сохранена в файл"));
        const QString path = m_document->path;
        saveAs(path);
        m_document->close();
        return m_engine->show(path);
    }

    void close() override { m_engine->closeDocument(*m_document); }

private:
    void exportFirstSheet(const QString &path, const QString &what) {
        requireOpen();
        m_engine->call(what, [&] {
            FirstSheetOnly only(m_document->spreadsheetDocument);
            Reference<frame::XStorable> storable(m_document->component, UNO_QUERY_THROW);
            storable->storeToURL(
                fileUrl(path), properties({property("FilterName", Any(OUString("calc_pdf_Export"))),
                                           property("Overwrite", Any(true))}));
        });
    }

    // Hides every sheet but the first while the document is printed or
    // exported, since both cover every visible sheet; shows them again after.
    class FirstSheetOnly {
    public:
        explicit FirstSheetOnly(const Reference<css::sheet::XSpreadsheetDocument> &document) {
            Reference<container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
            const sal_Int32 count = sheets->getCount();
            for (sal_Int32 i = 0; i < count; ++i) {
                Reference<beans::XPropertySet> sheet(sheets->getByIndex(i), UNO_QUERY_THROW);
                bool visible = false;
                sheet->getPropertyValue(OUString("IsVisible")) >>= visible;
                if (visible == (i == 0))
                    continue;
                m_changed.emplace_back(sheet, visible);
            }
            // The first sheet is shown before the others are hidden: a
            // document must keep one visible sheet.
            for (auto &[sheet, visible] : m_changed)
                if (!visible)
                    sheet->setPropertyValue(OUString("IsVisible"), Any(true));
            for (auto &[sheet, visible] : m_changed)
                if (visible)
                    sheet->setPropertyValue(OUString("IsVisible"), Any(false));
        }
        ~FirstSheetOnly() {
            try {
                for (auto &[sheet, visible] : m_changed)
                    if (visible)
                        sheet->setPropertyValue(OUString("IsVisible"), Any(true));
                for (auto &[sheet, visible] : m_changed)
                    if (!visible)
                        sheet->setPropertyValue(OUString("IsVisible"), Any(false));
            } catch (const uno::Exception &) {
                // The document is unusable anyway if this fails.
            }
        }
        FirstSheetOnly(const FirstSheetOnly &) = delete;
        FirstSheetOnly &operator=(const FirstSheetOnly &) = delete;

    private:
        std::vector<std::pair<Reference<beans::XPropertySet>, bool>> m_changed;
    };

    void requireOpen() const {
        m_engine->requireRunning();
        if (!m_document->open)
            throw Error(QStringLiteral("Книга уже закрыта"));
    }

    static void requireRange(int top, int left, int bottom, int right) {
        requireCell(top, left);
        if (bottom < top || right < left)
            throw Error(QStringLiteral("Неверный диапазон ячеек"));
    }

    Reference<table::XCellRange> range(int top, int left, int bottom, int right) const {
        return m_document->firstSheet->getCellRangeByPosition(left - 1, top - 1, right - 1,
                                                              bottom - 1);
    }

    // Portrait width and height of the papers, in 1/100 mm.
    static constexpr std::pair<PageSetup::Paper, std::pair<sal_Int32, sal_Int32>> kPapers[] = {
        {PageSetup::Paper::A4, {21000, 29700}}, {PageSetup::Paper::A3, {29700, 42000}}};

    // The page style of the first sheet. Other sheets may share it.
    Reference<beans::XPropertySet> pageStyle() const {
        OUString name;
        Reference<beans::XPropertySet>(m_document->firstSheet, UNO_QUERY_THROW)
            ->getPropertyValue(OUString("PageStyle")) >>= name;
        Reference<style::XStyleFamiliesSupplier> families(m_document->component, UNO_QUERY_THROW);
        Reference<container::XNameAccess> pageStyles(
            families->getStyleFamilies()->getByName(OUString("PageStyles")), UNO_QUERY_THROW);
        return Reference<beans::XPropertySet>(pageStyles->getByName(name), UNO_QUERY_THROW);
    }

    Reference<util::XNumberFormats> numberFormats() const {
        return Reference<util::XNumberFormatsSupplier>(m_document->component, UNO_QUERY_THROW)
            ->getNumberFormats();
    }

    // The parts of the range whose cells are formatted as text (sheet
    // addresses, counted from 0).
    std::vector<table::CellRangeAddress> textFormatted(const Reference<table::XCellRange> &area) {
        std::vector<table::CellRangeAddress> found;
        const Reference<util::XNumberFormats> formats = numberFormats();
        Reference<container::XIndexAccess> groups =
            Reference<css::sheet::XUniqueCellFormatRangesSupplier>(area, UNO_QUERY_THROW)
                ->getUniqueCellFormatRanges();
        for (sal_Int32 i = 0; i < groups->getCount(); ++i) {
            Reference<beans::XPropertySet> group(groups->getByIndex(i), UNO_QUERY_THROW);
            sal_Int32 key = 0;
            sal_Int16 type = 0;
            group->getPropertyValue(OUString("NumberFormat")) >>= key;
            formats->getByKey(key)->getPropertyValue(OUString("Type")) >>= type;
            if (!(type & util::NumberFormat::TEXT))
                continue;
            for (const table::CellRangeAddress &a :
                 Reference<css::sheet::XSheetCellRanges>(group, UNO_QUERY_THROW)
                     ->getRangeAddresses())
                found.push_back(a);
        }
        return found;
    }

    std::shared_ptr<OfficeEngine::Impl> m_engine;
    std::shared_ptr<Document> m_document;
};

} // namespace

OfficeEngine::OfficeEngine() : OfficeEngine(Options{}) {}

OfficeEngine::OfficeEngine(Options options) : d(std::make_shared<Impl>()) {
    d->options = std::move(options);
    d->start(); // on failure the Impl, and with it the process, goes with this object
}

OfficeEngine::~OfficeEngine() {
    d->shutdown();
}

std::unique_ptr<Workbook> OfficeEngine::addWorkbook() {
    return std::make_unique<OfficeWorkbook>(d, d->load(OUString("private:factory/scalc"), {}));
}

std::unique_ptr<Workbook> OfficeEngine::open(const QString &path) {
    d->requireRunning();
    const QFileInfo info(path);
    if (!info.isFile())
        throw Error(QStringLiteral("Файл \"%1\" не найден").arg(path));
    if (!info.isReadable())
        throw Error(
            QStringLiteral("Файл \"%1\" не удаётся прочитать: нет права на чтение").arg(path));
    return std::make_unique<OfficeWorkbook>(
        d, d->load(fileUrl(info.absoluteFilePath()), info.absoluteFilePath()));
}

void OfficeEngine::quit() {
    d->shutdown();
}

bool OfficeEngine::isRunning() const {
    return d->running && !d->hung && !d->ended && d->process.state() == QProcess::Running;
}

qint64 OfficeEngine::processId() const {
    return d->pid;
}

} // namespace sheet
