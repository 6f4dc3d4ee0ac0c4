// The Radio Manager's Broadcast page: the stream settings and the as-run log's keep-days.
#include "TestSupport.h"
#include "dialogs/FormManager.h"
#include "dialogs/SpinEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTime>
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
    st.settings.Stream.Enabled = true;
    st.settings.Stream.Host = QStringLiteral("ice.example.org");
    st.settings.Stream.Port = 8010;
    st.settings.Stream.Password = QStringLiteral("hidden");
    st.settings.Stream.Format = QStringLiteral("opus");
    st.settings.Stream.Bitrate = 96;
    st.settings.LogKeepDays = 30;
    TfrmManager dlg(st.context);
    EXPECT_EQ(dlg.PageControl1->count(), kManagerPageCount);
    EXPECT_EQ(dlg.PageControl1->tabText(6), QStringLiteral("Broadcast"));
    EXPECT_EQ(dlg.PageControl1->currentIndex(), 6);
    EXPECT_TRUE(dlg.cbStreamEnabled->isChecked());
    EXPECT_EQ(dlg.eStreamHost->text(), QStringLiteral("ice.example.org"));
    EXPECT_EQ(dlg.eStreamPort->value(), 8010);
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
    EXPECT_EQ(dlg.eStreamPort->value(), 8000);
    EXPECT_EQ(dlg.cbStreamFormat->currentText(), QStringLiteral("MP3"));
    EXPECT_EQ(dlg.eLogKeepDays->value(), 90);
    dlg.cbStreamEnabled->setChecked(true);
    dlg.eStreamHost->setText(QStringLiteral("  10.0.0.5 "));
    dlg.eStreamPort->lineEdit()->setText(QStringLiteral("8443"));
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

    const StreamSettings& s = st.settings.Stream;
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
    EXPECT_EQ(back.Stream, s);
    EXPECT_FALSE(back.LogEnabled);
    EXPECT_EQ(back.LogKeepDays, 14);
}

TEST(BroadcastPage, CancelChangesNothing) {
    Station st;
    TfrmManager dlg(st.context);
    dlg.cbStreamEnabled->setChecked(true);
    dlg.eStreamHost->setText(QStringLiteral("elsewhere"));
    dlg.reject();
    EXPECT_FALSE(st.settings.Stream.Enabled);
    EXPECT_TRUE(st.settings.Stream.Host.isEmpty());
}

} // namespace
