// The exchange walked through the program's windows on two demo
// installations: the sending one builds and sends its consolidations from
// "Передача и прием отчетов", and the receiving one takes them into one of
// its organisations, after which its own consolidation includes the figures
// received.

#include "consolidation/LoadReportUnit.h"
#include "consolidation/SvodEngine.h"
#include "consolidation/UnitChooseFolder.h"
#include "consolidation/UnitChooseOrg.h"
#include "consolidation/UnitProgressShow.h"
#include "demo/DemoData.h"
#include "demo/DemoInstall.h"
#include "demo/DemoReports.h"
#include "shell/AppState.h"
#include "shell/DataSetModel.h"
#include "shell/MultilineGrid_Old.h"
#include "shell/Paths.h"
#include "shell/YearUnit.h"
#include "app/DateUnit.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "support/DataModuleConnections.h"
#include "support/MessageRecorder.h"
#include "support/TableBuilder.h"
#include "svod_fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

const int kYear = 2017;

class ExchangeRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        sender = dir.path() + QStringLiteral("/sender/");
        receiver = dir.path() + QStringLiteral("/receiver/");
        exchangeDir = dir.path() + QStringLiteral("/flash drive");
        demo::WriteDemoInstallation(sender);
        demo::WriteDemoInstallation(receiver);
        ASSERT_TRUE(QDir().mkpath(exchangeDir));
        appState() = AppState();
    }

    void TearDown() override {
        stop();
        paths::setProgramDirForTests(QString());
    }

    // Starts the program on an installation and answers the working date.
    void start(const QString &programDir) {
        paths::setProgramDirForTests(programDir);
        testsupport::closeDataModuleConnections();
        appState() = AppState();
        recorder = std::make_unique<MessageRecorder>();
        recorder->onDialog = [this](QDialog &d) { return answer(d); };
        mainForm = std::make_unique<TMainForm>();
        CreateProgramWindows(*mainForm);
        mainForm->resize(1200, 800);
        mainForm->show();
        QCoreApplication::processEvents();
        ASSERT_EQ(mainForm->WorkYear(), kYear);
    }

    void stop() {
        ForgetProgramWindows();
        mainForm.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        testsupport::closeDataModuleConnections();
        recorder.reset();
    }

    int answer(QDialog &d) {
        if (auto *date = qobject_cast<TDateForm *>(&d)) {
            date->setDate(QDate(2016, 11, 14));
            return QDialog::Accepted;
        }
        if (auto *year = qobject_cast<TYearForm *>(&d)) {
            year->FillYears(); // the latest school year, 2016 / 2017
            return QDialog::Accepted;
        }
        if (auto *folder = qobject_cast<TFormChooseFolder *>(&d)) {
            shownFolder = folder->selectedPath();
            folder->setSelectedPath(exchangeDir);
            folder->ButtonOk->click();
            return folder->result();
        }
        if (auto *org = qobject_cast<TFormChooseOrg *>(&d)) {
            org->show(); // opens the organisation book
            QCoreApplication::processEvents();
            DataSetModel *m = org->GridModel();
            for (int c = 0; c < m->columnCount(); ++c)
                orgColumns << (m->columns()[c].visible ? QString() : QStringLiteral("-")) +
                                  m->fieldOfColumn(c);
            orgKindTitle = m->columns()[3].title;
            orgKindWidth = m->columns()[3].width;
            for (int row = 0; row < m->rowCount(); ++row) {
                if (m->data(m->index(row, 0)).toInt() == chosenOrg) {
                    org->DBGrid1->setCurrentIndex(m->index(row, 1));
                    break;
                }
            }
            chosenName = org->DBTextOrgName->text();
            org->ButtonOk->click();
            return org->result();
        }
        return QDialog::Rejected;
    }

    QPushButton *mainButton(const QString &text) {
        for (QPushButton *b : mainForm->findChildren<QPushButton *>())
            if (b->text() == text && b->isVisible())
                return b;
        return nullptr;
    }

    TLoadReportForm *openExchange() {
        QPushButton *button = mainButton(QStringLiteral("Передача и прием отчетов"));
        EXPECT_NE(button, nullptr);
        if (!button)
            return nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
        return qobject_cast<TLoadReportForm *>(
            mainForm->workWindow(TMainForm::WorkWindow::LoadReport));
    }

    // N1 of the first row of a report's consolidation over set 1.
    double consolidated(const QString &programDir, const QString &base) {
        return testsupport::readCell(programDir + QStringLiteral("DBF/S20171"),
                                     base + QString::number(kYear), 1, QStringLiteral("N1"))
            .toDouble();
    }

    QTemporaryDir dir;
    QString sender, receiver, exchangeDir;
    std::unique_ptr<MessageRecorder> recorder;
    std::unique_ptr<TMainForm> mainForm;
    QString shownFolder;
    int chosenOrg = 0;
    QString chosenName;
    QStringList orgColumns;
    QString orgKindTitle;
    int orgKindWidth = 0;
};

TEST_F(ExchangeRoadTest, ConsolidationsSentFromOneInstallationEnterTheOthersConsolidation) {
    // --- the sending installation.
    start(sender);
    ASSERT_FALSE(HasFailure());
    QPointer<TLoadReportForm> window = openExchange();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Year, kYear);
    EXPECT_EQ(window->PanelText(0), QStringLiteral("Период: 2016/2017"));
    EXPECT_TRUE(window->RBSave->isChecked());
    EXPECT_EQ(window->ButtonGo->text(), QStringLiteral("Передать"));
    EXPECT_EQ(window->GroupBox3->title(), QStringLiteral("Куда загрузить данные"));
    EXPECT_FALSE(window->GroupBox2->isEnabled());
    EXPECT_TRUE(window->RBSave->font().bold());
    EXPECT_EQ(window->RBSave->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_FALSE(window->RBLoad->font().bold());

    QTest::mouseClick(window->ButtonChooseDir, Qt::LeftButton);
    EXPECT_EQ(shownFolder, QDir::homePath());
    EXPECT_EQ(QDir::fromNativeSeparators(window->EditDir->text()), exchangeDir);

    // A cell of one organisation's F1 that is no number: sending names it
    // and asks first; "Нет" leaves the window open and sends nothing.
    const demo::Organisation *bad = demo::FindOrganisation(demo::OrganisationsWithData(kYear)[0]);
    svodtest::putRawCell(sender + QStringLiteral("DBF/D%1/F12017.DBF").arg(bad->kod), 2,
                         QStringLiteral("N3"), "abc");
    const QString question =
        QStringLiteral("В отчетах организаций найдены ячейки, в которых записано не число: 1.\r"
                       "В сводах они не учтены как числа.\r\r") +
        bad->name + QStringLiteral(", отчет \"") + demo::FindReport(QStringLiteral("F1"))->name +
        QStringLiteral("\", строка 2, графа N3: \"abc\"\r\rПередать отчеты?");
    for (const msg::Answer answer : {msg::Answer::No, msg::Answer::Yes}) {
        recorder->messages.clear();
        recorder->answers = {msg::Answer::Ok, answer};
        QTest::mouseClick(window->ButtonGo, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_GE(recorder->messages.size(), 2) << recorder->texts().join("\n").toStdString();
        EXPECT_EQ(recorder->messages[1].text, question);
        if (answer == msg::Answer::No) {
            EXPECT_EQ(recorder->messages.size(), 2);
            ASSERT_FALSE(window.isNull());
            EXPECT_TRUE(QDir(exchangeDir).isEmpty());
        }
    }
    QStringList sent = recorder->texts();
    sent.removeAt(1);
    ASSERT_EQ(sent.size(), 2) << sent.join("\n").toStdString();
    EXPECT_EQ(recorder->messages[0].title, QStringLiteral("Предупреждение"));
    EXPECT_EQ(sent[0], QStringLiteral("Подготовка свода к сохранению займет некоторое время.\r\r"
                                      "Пожалуйста, подождите."));
    EXPECT_TRUE(sent[1].startsWith(QStringLiteral("Были скопированы следующие отчеты: ")));
    EXPECT_EQ(appState().SvodForExport, 0);
    EXPECT_FALSE(ProgressForm->isVisible());
    EXPECT_TRUE(window.isNull()) << "the window closes after a successful sending";

    // Every report of the catalogue went, byte for byte, with reg.txt.
    QStringList expected{QStringLiteral("reg.txt")};
    for (const demo::ReportSpec &r : demo::Reports()) {
        const QString file = r.base + QString::number(kYear) + QStringLiteral(".DBF");
        expected << file;
        QFile a(sender + QStringLiteral("DBF/S20171/") + file), b(exchangeDir + "/" + file);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly))
            << file.toStdString();
        EXPECT_EQ(a.readAll(), b.readAll()) << file.toStdString();
    }
    QStringList present = QDir(exchangeDir).entryList(QDir::Files);
    present.sort();
    expected.sort();
    EXPECT_EQ(present, expected);
    QFile reg(exchangeDir + QStringLiteral("/reg.txt"));
    ASSERT_TRUE(reg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(reg.readAll().startsWith(demo::OwnRequisites().inno.toLatin1() + "\r\n"));
    const double sentF1 = consolidated(sender, QStringLiteral("F1"));
    stop();

    // --- the receiving installation: organisation 3, which has no reports
    // of its own for 2016 / 2017, carries the sender's INN.
    const int org = 3;
    ASSERT_FALSE(demo::OrganisationsWithData(kYear).contains(org));
    {
        testsupport::OpenTable school(receiver, QStringLiteral("SCHOOL"));
        ASSERT_TRUE(school.ds.Locate(QStringLiteral("KOD"), org));
        school.set(school.ds.RecNo(), QStringLiteral("INN_O"), demo::OwnRequisites().inno);
    }
    ASSERT_TRUE(svod::SaveAllSvods({receiver, kYear, 1, nullptr}).Ok);
    const double ownF1 = consolidated(receiver, QStringLiteral("F1"));

    start(receiver);
    ASSERT_FALSE(HasFailure());
    window = openExchange();
    ASSERT_NE(window, nullptr);
    QTest::mouseClick(window->RBLoad, Qt::LeftButton, {}, QPoint(6, window->RBLoad->height() / 2));
    EXPECT_EQ(window->ButtonGo->text(), QStringLiteral("Принять"));
    EXPECT_EQ(window->GroupBox3->title(), QStringLiteral("Откуда загрузить данные"));
    EXPECT_TRUE(window->GroupBox2->isEnabled());
    EXPECT_TRUE(window->GroupBox2->font().bold());
    EXPECT_FALSE(window->EditOrg->font().bold());
    EXPECT_TRUE(window->RBLoad->font().bold());
    EXPECT_FALSE(window->RBSave->font().bold());
    window->EditDir->setText(exchangeDir);

    // Receiving before an organisation is chosen is refused; the window stays.
    recorder->messages.clear();
    QTest::mouseClick(window->ButtonGo, Qt::LeftButton);
    EXPECT_EQ(recorder->texts(), QStringList{QStringLiteral(
                                     "Не указана организация, в которую необходимо принять "
                                     "отчеты!\r\rНажмите \"Указать\" и выберите организацию.")});
    ASSERT_FALSE(window.isNull());
    EXPECT_FALSE(QFileInfo::exists(receiver + QStringLiteral("DBF/D0")));

    chosenOrg = org;
    QTest::mouseClick(window->ButtonChooseOrg, Qt::LeftButton);
    EXPECT_EQ(orgColumns, QStringList({"KOD", "NAME", "INN_O", "KODCITY", "KOD1", "KOD3", "KOD4",
                                       "RYKORG", "GLABUX", "RYKFIN", "KOD2", "TELEF", "-CITY",
                                       "OKPO_K", "OKONX_K", "-GLAVRAS", "ADRES"}));
    EXPECT_EQ(orgKindTitle, QStringLiteral("1-начальн  2-средние  3-общеобр"));
    QFont bold = FormChooseOrg->DBGrid1->font();
    bold.setBold(true);
    EXPECT_EQ(orgKindWidth, QFontMetrics(bold).horizontalAdvance(QStringLiteral("1-районы    ")));
    EXPECT_EQ(chosenName, demo::FindOrganisation(org)->name);
    EXPECT_EQ(window->EditOrg->text(), demo::FindOrganisation(org)->name);
    EXPECT_EQ(window->EditOrgTag(), org);

    recorder->messages.clear();
    QTest::mouseClick(window->ButtonGo, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(recorder->messages.size(), 1) << recorder->texts().join("\n").toStdString();
    EXPECT_EQ(recorder->messages[0].text, sent[1]) << "the same reports were received";
    EXPECT_TRUE(window.isNull());

    // The received tables now take part in the receiver's consolidation.
    ASSERT_TRUE(svod::SaveAllSvods({receiver, kYear, 1, nullptr}).Ok);
    EXPECT_NE(sentF1, 0.0);
    EXPECT_DOUBLE_EQ(consolidated(receiver, QStringLiteral("F1")), ownF1 + sentF1);
}

} // namespace
