// The Radio Manager's Broadcast page: the stream outputs and the as-run log's keep-days.
#include "TestSupport.h"
#include "dialogs/FormManager.h"
#include "dialogs/SpinEdit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabBar>
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

// What one output's controls are set to in the dialog.
void type(TfrmManager& dlg, const ManagerStreamControls& c) {
    dlg.cbStreamEnabled->setChecked(c.Enabled);
    dlg.eStreamHost->setText(c.Host);
    dlg.eStreamPort->setText(c.Port);
    dlg.eStreamMount->setText(c.Mount);
    dlg.eStreamUser->setText(c.User);
    dlg.eStreamPassword->setText(c.Password);
    dlg.cbStreamFormat->setCurrentIndex(c.Format == kStreamFormatOpus ? 1 : 0);
    dlg.eStreamBitrate->setValue(c.Bitrate);
    dlg.eStreamName->setText(c.Name);
    dlg.eStreamDescription->setText(c.Description);
    dlg.eStreamGenre->setText(c.Genre);
    dlg.eStreamUrl->setText(c.Url);
    dlg.cbStreamPublic->setChecked(c.Public);
}

ManagerStreamControls output(const char* host, const char* port, const char* mount,
                             const QString& format, int bitrate, const char* password) {
    ManagerStreamControls c;
    c.Enabled = true;
    c.Host = QString::fromLatin1(host);
    c.Port = QString::fromLatin1(port);
    c.Mount = QString::fromLatin1(mount);
    c.Password = QString::fromLatin1(password);
    c.Format = format;
    c.Bitrate = bitrate;
    return c;
}

TEST(BroadcastOutputs, ThreeOutputsAreEditedOneAtATimeAndStoredWithTheirPasswordsApart) {
    Station st;
    std::array<ManagerStreamControls, kStreamOutputCount> typed = {
        output("ice.example.org", "8000", "/radio", kStreamFormatMp3, 128, "first"),
        output("ice.example.org", "8000", "/radio-low", kStreamFormatOpus, 64, "second, \"2\""),
        output("relay.example.net", "8010", "/z99", kStreamFormatMp3, 96, "third")};
    typed[1].Name = QStringLiteral("Z99 Low");
    typed[1].Description = QStringLiteral("For phones");
    typed[1].Genre = QStringLiteral("Rock");
    typed[1].Url = QStringLiteral("https://z99.example.org/");
    typed[1].Public = true;
    typed[2].Enabled = false; // set up, but off for now
    typed[2].User = QStringLiteral("relay");

    TfrmManager dlg(st.context);
    ASSERT_EQ(dlg.tbStreamOutput->count(), 3);
    EXPECT_EQ(dlg.tbStreamOutput->currentIndex(), 0) << "the first output shows first";
    for (int i = 0; i < 3; ++i) {
        dlg.tbStreamOutput->setCurrentIndex(i);
        EXPECT_EQ(dlg.eStreamPort->text(), QStringLiteral("8000")) << "output " << i + 1;
        EXPECT_FALSE(dlg.cbStreamEnabled->isChecked()) << "output " << i + 1;
        type(dlg, typed[static_cast<std::size_t>(i)]);
    }
    // Each output's values come back when it is shown again, and the tab hints tell them apart.
    dlg.tbStreamOutput->setCurrentIndex(1);
    EXPECT_EQ(dlg.eStreamMount->text(), QStringLiteral("/radio-low"));
    EXPECT_EQ(dlg.cbStreamFormat->currentText(), QStringLiteral("Opus"));
    EXPECT_EQ(dlg.eStreamUrl->text(), QStringLiteral("https://z99.example.org/"));
    EXPECT_EQ(dlg.tbStreamOutput->tabToolTip(0),
              QStringLiteral("Output 1 ([Stream]): MP3 128 kbit/s to ice.example.org:8000/radio"));
    EXPECT_EQ(dlg.tbStreamOutput->tabToolTip(2), QStringLiteral("Output 3 ([Stream3]): Off"));
    EXPECT_FALSE(dlg.eStreamPassword->toolTip().contains(QStringLiteral("service manager")));
    EXPECT_EQ(dlg.controls().Streams, typed);
    // With CORVALIN_DIALOG_PICTURES set to a folder, the page with two outputs on is saved there.
    if (const QString folder = qEnvironmentVariable("CORVALIN_DIALOG_PICTURES");
        !folder.isEmpty()) {
        dlg.PageControl1->setCurrentIndex(6);
        dlg.show();
        EXPECT_TRUE(dlg.grab().save(folder + QStringLiteral("/manager-7-outputs.png")));
    }
    dlg.bOKClick();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);

    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        SCOPED_TRACE(i);
        const StreamSettings& s = st.settings.Streams[i];
        EXPECT_EQ(s.Enabled, typed[i].Enabled);
        EXPECT_EQ(s.Host, typed[i].Host);
        EXPECT_EQ(QString::number(s.Port), typed[i].Port);
        EXPECT_EQ(s.Mount, typed[i].Mount);
        EXPECT_EQ(s.Password, typed[i].Password);
        EXPECT_EQ(s.Format, typed[i].Format);
        EXPECT_EQ(s.Bitrate, typed[i].Bitrate);
    }
    EXPECT_EQ(st.settings.Streams[1].Url, QStringLiteral("https://z99.example.org/"));
    EXPECT_EQ(st.settings.Streams[2].User, QStringLiteral("relay"));

    // Read back from the files: the same three outputs, no password in the settings file.
    StationSettings back = defaultSettings(st.program.path(), QTime(9, 0));
    st.store.readIni(back, QTime(9, 0));
    EXPECT_EQ(back.Streams, st.settings.Streams);
    const QByteArray settingsFile = readWholeFile(st.store.paths().perUserFile());
    EXPECT_TRUE(settingsFile.contains("[Stream3]"));
    for (const char* password : {"first", "second", "third"})
        EXPECT_FALSE(settingsFile.contains(password)) << password;
    const IniFile credentials = IniFile::load(st.store.paths().credentialsFile(false));
    EXPECT_EQ(credentials.value(QStringLiteral("Stream2"), QStringLiteral("Password")),
              typed[1].Password);
    EXPECT_EQ(credentials.value(QStringLiteral("Stream3"), QStringLiteral("Password")),
              QStringLiteral("third"));

    // Opened again, the dialog shows what was stored.
    TfrmManager again(st.context);
    EXPECT_EQ(again.controls().Streams, typed);
    again.tbStreamOutput->setCurrentIndex(2);
    EXPECT_EQ(again.eStreamHost->text(), QStringLiteral("relay.example.net"));
    EXPECT_EQ(again.eStreamPassword->text(), QStringLiteral("third"));
}

TEST(BroadcastRules, EveryOutputIsCheckedAndTheWrongOneNamed) {
    struct Case {
        const char* name;
        std::function<void(std::array<ManagerStreamControls, kStreamOutputCount>&)> change;
        int output; // -1: nothing wrong
        const char* control;
        const char* saying;
    };
    using Outputs = std::array<ManagerStreamControls, kStreamOutputCount>;
    const Case cases[] = {
        {"two outputs on two mounts, the third untouched", [](Outputs&) {}, -1, "", ""},
        {"the second on without a password", [](Outputs& o) { o[1].Password.clear(); }, 1,
         "eStreamPassword", "Output 2: The stream is on but has no password"},
        {"the third off with a port that is none",
         [](Outputs& o) { o[2].Port = QStringLiteral("80a"); }, 2, "eStreamPort",
         "Output 3: The port"},
        {"the third on without a server", [](Outputs& o) { o[2].Enabled = true; }, 2, "eStreamHost",
         "Output 3: The stream is on but names no server"},
        {"the first wrong before the third, in the first's own words",
         [](Outputs& o) {
             o[0].Mount = QStringLiteral("/a b");
             o[2].Port = QStringLiteral("0");
         },
         0, "eStreamMount", "The mount point \"/a b\" holds a blank"},
        {"both on the same mount, written differently",
         [](Outputs& o) {
             o[1].Host = QStringLiteral(" ICE.example.org");
             o[1].Mount = QStringLiteral("radio");
         },
         1, "eStreamMount", "Output 2 sends to the same mount point as output 1"},
        {"the same mount on another port",
         [](Outputs& o) {
             o[1].Mount = QStringLiteral("/radio");
             o[1].Port = QStringLiteral("8010");
         },
         -1, "", ""},
        {"the same mount while the other is off",
         [](Outputs& o) {
             o[1].Mount = QStringLiteral("/radio");
             o[0].Enabled = false;
         },
         -1, "", ""},
        {"the third on the first's mount",
         [](Outputs& o) {
             o[2] = o[0];
             o[2].Password = QStringLiteral("third");
         },
         2, "eStreamMount", "Output 3 sends to the same mount point as output 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Outputs outputs = {
            output("ice.example.org", "8000", "/radio", kStreamFormatMp3, 128, "first"),
            output("ice.example.org", "8000", "/radio-low", kStreamFormatOpus, 64, "second"),
            ManagerStreamControls{}};
        c.change(outputs);
        const ManagerProblem problem = broadcastProblem(outputs);
        EXPECT_EQ(problem.output, c.output);
        EXPECT_EQ(problem.control, QString::fromLatin1(c.control));
        if (c.output < 0)
            EXPECT_TRUE(problem.text.isEmpty()) << problem.text.toStdString();
        else
            EXPECT_TRUE(problem.text.startsWith(QString::fromUtf8(c.saying)))
                << problem.text.toStdString();
        for (const char* password : {"first", "second", "third"})
            EXPECT_FALSE(problem.text.contains(QString::fromLatin1(password)));
    }

    ManagerStreamControls summary =
        output(" ice.example.org ", "8000", "low", kStreamFormatOpus, 64, "x");
    EXPECT_EQ(streamOutputSummary(summary),
              QStringLiteral("Opus 64 kbit/s to ice.example.org:8000/low"));
    summary.Host.clear();
    EXPECT_EQ(streamOutputSummary(summary), QStringLiteral("Opus 64 kbit/s (no server yet)"));
    summary.Enabled = false;
    EXPECT_EQ(streamOutputSummary(summary), QStringLiteral("Off"));
}

TEST(BroadcastOutputs, OKShowsTheOutputThatCannotWorkWithItsControlFocused) {
    Station st;
    TfrmManager dlg(st.context);
    dlg.show();
    dlg.PageControl1->setCurrentIndex(0);
    type(dlg, output("ice.example.org", "8000", "/radio", kStreamFormatMp3, 128, "first"));
    dlg.tbStreamOutput->setCurrentIndex(2);
    type(dlg, output("ice.example.org", "8000", "/radio-low", kStreamFormatOpus, 64, ""));
    dlg.tbStreamOutput->setCurrentIndex(0);
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "no box came up";
        text = box->text();
        box->accept();
    });
    dlg.bOKClick();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Output 3: "))) << text.toStdString();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.PageControl1->currentIndex(), 6);
    EXPECT_EQ(dlg.tbStreamOutput->currentIndex(), 2) << "the wrong output is shown";
    EXPECT_EQ(dlg.eStreamMount->text(), QStringLiteral("/radio-low"));
    EXPECT_EQ(dlg.focusWidget(), dlg.eStreamPassword);
    EXPECT_FALSE(st.settings.Streams[0].Enabled) << "nothing stored";

    dlg.eStreamPassword->setText(QStringLiteral("third"));
    dlg.bOKClick();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(st.settings.Streams[0].Enabled);
    EXPECT_FALSE(st.settings.Streams[1].Enabled);
    EXPECT_EQ(st.settings.Streams[2].Mount, QStringLiteral("/radio-low"));
    EXPECT_EQ(st.settings.Streams[2].Password, QStringLiteral("third"));
}

} // namespace
