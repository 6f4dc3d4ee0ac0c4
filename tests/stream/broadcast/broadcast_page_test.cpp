// The Radio Manager's Broadcast page: the stream settings and the as-run log's keep-days.
#include "TestSupport.h"
#include "dialogs/FormManager.h"
#include "dialogs/SpinEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

struct Station {
    Station()
        : settings(defaultSettings(program.path(), QTime(9, 0))),
          store(SettingsPaths{program.path(), config.path()}), context(settings, store) {}
    TempFolder program;
    TempFolder config;
    StationSettings settings;
    SettingsStore store;
    ManagerContext context;
};

TEST(BroadcastPage, ShowsTheStoredStreamWithThePasswordHidden) {
    Station st;
    st.settings.ManagerTab = 6;
    st.settings.Streams[0].Enabled = true;
    st.settings.Streams[0].Host = QStringLiteral("ice.example.org");
    st.settings.Streams[0].Port = 8010;
    st.settings.Streams[0].Password = QStringLiteral("hidden");
    st.settings.Streams[0].Format = QStringLiteral("opus");
    st.settings.Streams[0].Bitrate = 96;
    st.settings.LogKeepDays = 30;
    TfrmManager dlg(st.context);
    EXPECT_EQ(dlg.PageControl1->count(), kManagerPageCount);
    EXPECT_EQ(dlg.PageControl1->tabText(6), QStringLiteral("Broadcast"));
    EXPECT_EQ(dlg.PageControl1->currentIndex(), 6);
    EXPECT_TRUE(dlg.cbStreamEnabled->isChecked());
    EXPECT_EQ(dlg.eStreamHost->text(), QStringLiteral("ice.example.org"));
    EXPECT_EQ(dlg.eStreamPort->text(), QStringLiteral("8010"));
    EXPECT_EQ(dlg.eStreamMount->text(), QStringLiteral("/radio"));
    EXPECT_EQ(dlg.eStreamUser->text(), QStringLiteral("source"));
    EXPECT_EQ(dlg.eStreamPassword->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.cbStreamFormat->currentText(), QStringLiteral("Opus"));
    EXPECT_EQ(dlg.eStreamBitrate->value(), 96);
    EXPECT_EQ(dlg.eStreamBitrate->minimum(), 32);
    EXPECT_EQ(dlg.eStreamBitrate->maximum(), 320);
    EXPECT_TRUE(dlg.cbLogEnabled->isChecked());
    EXPECT_EQ(dlg.eLogKeepDays->value(), 30);
    EXPECT_EQ(dlg.controls(), managerControlsFrom(st.settings));
}

TEST(BroadcastPage, OKStoresTheStreamAndTheLogSettings) {
    Station st;
    TfrmManager dlg(st.context);
    EXPECT_FALSE(dlg.cbStreamEnabled->isChecked()); // off until the operator turns it on
    EXPECT_EQ(dlg.eStreamPort->text(), QStringLiteral("8000"));
    EXPECT_EQ(dlg.cbStreamFormat->currentText(), QStringLiteral("MP3"));
    EXPECT_EQ(dlg.eLogKeepDays->value(), 90);
    dlg.cbStreamEnabled->setChecked(true);
    dlg.eStreamHost->setText(QStringLiteral("  10.0.0.5 "));
    dlg.eStreamPort->setText(QStringLiteral(" 8443"));
    dlg.eStreamMount->setText(QStringLiteral("/z99"));
    dlg.eStreamPassword->setText(QStringLiteral("p, \"q\""));
    dlg.cbStreamFormat->setCurrentIndex(1);
    dlg.eStreamBitrate->lineEdit()->setText(QStringLiteral("999")); // pulled into range
    dlg.eStreamGenre->setText(QStringLiteral("Rock"));
    dlg.cbStreamPublic->setChecked(true);
    dlg.cbLogEnabled->setChecked(false);
    dlg.eLogKeepDays->lineEdit()->setText(QStringLiteral("14"));
    dlg.bOKClick();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    const StreamSettings& s = st.settings.Streams[0];
    EXPECT_TRUE(s.Enabled);
    EXPECT_EQ(s.Host, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(s.Port, 8443);
    EXPECT_EQ(s.Mount, QStringLiteral("/z99"));
    EXPECT_EQ(s.Password, QStringLiteral("p, \"q\""));
    EXPECT_EQ(s.Format, QStringLiteral("opus"));
    EXPECT_EQ(s.Bitrate, 320);
    EXPECT_TRUE(s.Public);
    EXPECT_FALSE(st.settings.LogEnabled);
    EXPECT_EQ(st.settings.LogKeepDays, 14);

    StationSettings back = defaultSettings(st.program.path(), QTime(9, 0));
    st.store.readIni(back, QTime(9, 0));
    EXPECT_EQ(back.Streams[0], s);
    EXPECT_FALSE(back.LogEnabled);
    EXPECT_EQ(back.LogKeepDays, 14);
}

TEST(BroadcastRules, SettingsThatCannotWorkAreNamedAtOK) {
    struct Case {
        const char* name;
        std::function<void(ManagerStreamControls&)> change;
        const char* control; // "" when nothing is wrong
        const char* saying;
    };
    const Case cases[] = {
        {"a stream that can work", [](ManagerStreamControls&) {}, "", ""},
        {"off and not filled in yet",
         [](ManagerStreamControls& c) {
             c.Enabled = false;
             c.Host.clear();
             c.Password.clear();
         },
         "", ""},
        {"a mount without its slash, blanks around the port",
         [](ManagerStreamControls& c) {
             c.Mount = QStringLiteral("z99");
             c.Port = QStringLiteral(" 8443 ");
         },
         "", ""},
        {"on without a server", [](ManagerStreamControls& c) { c.Host = QStringLiteral("  "); },
         "eStreamHost", "names no server"},
        {"on without a password", [](ManagerStreamControls& c) { c.Password.clear(); },
         "eStreamPassword", "no password"},
        {"port too high", [](ManagerStreamControls& c) { c.Port = QStringLiteral("99999"); },
         "eStreamPort", "\"99999\""},
        {"port 0", [](ManagerStreamControls& c) { c.Port = QStringLiteral("0"); }, "eStreamPort",
         "from 1 to 65535"},
        {"port not a number", [](ManagerStreamControls& c) { c.Port = QStringLiteral("80a"); },
         "eStreamPort", "\"80a\""},
        {"port empty, even while off",
         [](ManagerStreamControls& c) {
             c.Enabled = false;
             c.Port.clear();
         },
         "eStreamPort", "whole number"},
        {"a blank in the mount",
         [](ManagerStreamControls& c) { c.Mount = QStringLiteral("/z 99"); }, "eStreamMount",
         "blank"},
        {"no mount", [](ManagerStreamControls& c) { c.Mount = QStringLiteral(" / "); },
         "eStreamMount", "/radio"},
        {"an address for a server",
         [](ManagerStreamControls& c) { c.Host = QStringLiteral("http://ice.example.org"); },
         "eStreamHost", "http://"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManagerStreamControls stream;
        stream.Enabled = true;
        stream.Host = QStringLiteral("ice.example.org");
        stream.Password = QStringLiteral("hidden");
        c.change(stream);
        const ManagerProblem problem = broadcastProblem(stream);
        EXPECT_EQ(problem.control, QString::fromLatin1(c.control));
        EXPECT_EQ(static_cast<bool>(problem), *c.control != 0);
        EXPECT_TRUE(problem.text.contains(QString::fromUtf8(c.saying)))
            << problem.text.toStdString();
        EXPECT_FALSE(problem.text.contains(QStringLiteral("hidden")));
    }
    EXPECT_EQ(streamPortFrom(QStringLiteral("65535")), 65535);
    EXPECT_EQ(streamPortFrom(QStringLiteral("65536")), std::nullopt);
    EXPECT_EQ(streamPortFrom(QStringLiteral("-1")), std::nullopt);
}

TEST(BroadcastPage, OKSaysWhatCannotWorkAndStaysOpenUntilItIsPutRight) {
    Station st;
    const StationSettings before = st.settings;
    TfrmManager dlg(st.context);
    dlg.show();
    dlg.PageControl1->setCurrentIndex(0);
    dlg.cbStreamEnabled->setChecked(true);
    dlg.eStreamHost->setText(QStringLiteral("ice.example.org"));
    dlg.eStreamPassword->setText(QStringLiteral("hidden"));
    dlg.eStreamPort->setText(QStringLiteral("99999"));
    QString caption;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "no box came up";
        caption = box->windowTitle();
        text = box->text();
        box->accept();
    });
    dlg.bOKClick();
    EXPECT_EQ(caption, QStringLiteral("Corvalin Radio - Setup Error"));
    EXPECT_TRUE(text.contains(QStringLiteral("99999"))) << text.toStdString();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.PageControl1->currentIndex(), 6) << "the page with the wrong value is shown";
    EXPECT_EQ(dlg.focusWidget(), dlg.eStreamPort);
    EXPECT_EQ(dlg.eStreamPort->text(), QStringLiteral("99999")) << "never quietly changed";
    EXPECT_EQ(st.settings.Streams[0], before.Streams[0]);
    EXPECT_FALSE(QFileInfo::exists(st.store.paths().perUserFile())) << "nothing stored";

    dlg.eStreamPort->setText(QStringLiteral("8443"));
    dlg.bOKClick();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(st.settings.Streams[0].Port, 8443);
}

TEST(BroadcastPage, ThePasswordsHintNamesWhereItIsKept) {
    Station st;
    TfrmManager dlg(st.context);
    const QString hint = dlg.eStreamPassword->toolTip();
    for (const bool same : {false, true})
        EXPECT_TRUE(hint.contains(st.store.paths().credentialsFile(same))) << hint.toStdString();
}

TEST(BroadcastPage, CancelChangesNothing) {
    Station st;
    TfrmManager dlg(st.context);
    dlg.cbStreamEnabled->setChecked(true);
    dlg.eStreamHost->setText(QStringLiteral("elsewhere"));
    dlg.reject();
    EXPECT_FALSE(st.settings.Streams[0].Enabled);
    EXPECT_TRUE(st.settings.Streams[0].Host.isEmpty());
}

} // namespace
