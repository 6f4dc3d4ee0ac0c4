#include "StationDialogs.h"

#include "Artwork.h"
#include "DigitalClock.h"
#include "FormCorvalinRadio.h"
#include "dialogs/FormAbout.h"
#include "dialogs/FormManager.h"
#include "dialogs/FormPhrases.h"
#include "dialogs/PlayListEditorContext.h"
#include "station/StationController.h"
#include "voice/speech/DJSpeechEngine.h"

namespace corvalin {

namespace {

PlayListEditorContext editorContext(StationController& station, bool& viewListOpen,
                                    std::function<void(int)> help) {
    return PlayListEditorContext{
        station.playList(),
        station.settings(),
        station.programFolder(),
        viewListOpen,
        [&station] { return station.currentSlotSettings().PlayList; },
        [&station] { return station.currentSlotSettings().ListOrder; },
        [&station] { return station.state().CurrentListIndex; },
        [&station] { return station.state().NextSongInfo().FileName; },
        [&station] { station.SaveList(); },
        [&station] { station.reloadLiveList(); },
        std::move(help),
        &station.random(),
    };
}

} // namespace

StationDialogs::StationDialogs(TfrmCorvalinRadio& window, StationController& station)
    : QObject(&window), window_(window), station_(station) {}

void StationDialogs::showHelp(int topic) {
    window_.showHelp(topic);
}

void StationDialogs::openListFile(const QString& file) {
    OpenPlayListEditorOnFile(
        editorContext(station_, viewListOpen_, [this](int topic) { showHelp(topic); }), file,
        &window_);
}

void StationDialogs::bManagerClick() {
    StationController& s = station_;
    const DJSpeechEngine* engine = s.speechEngine();
    ManagerContext context(s.settings(), s.store(), engine ? engine->voices() : QStringList{});
    context.SpeakTest = [&s](const QString& voice) { s.speakVoiceTest(voice); };
    context.DJSpeaking = [&s] { return s.state().Speech.DJSpeaking; };
    context.RearmAutoClocks = [&s] { s.applyAutoClocks(); };
    context.ForceSlotReload = [&s] { s.scheduler().forceReload(); };
    context.NewsDefinitionsChanged = [&s](const NewsDefinitions& d) {
        s.newsFeed().setDefinitions(d);
    };
    context.OpenPlayListEditor = [this](const QString& file) { openListFile(file); };
    context.StartFormPhrases = [this, &s](const QString& code) {
        PhraseEditorContext phrases;
        phrases.PhrasesFile = s.phrases().PhrasesFile;
        phrases.random = &s.random();
        phrases.CurrentSlot = [&s] { return s.scheduler().CurrentSlot; };
        phrases.ReloadLivePhrases = [&s](const PhraseSetReload& r) {
            s.phrases().LoadPhrases(r.slot, r.letter, livePhraseList(s.livePhrases(), r.list));
        };
        return StartFormPhrases(&window_, code, phrases);
    };
    context.ShowHelp = [this](int topic) { showHelp(topic); };
    context.LastFetchOutcome = [&s] { return s.newsFeed().lastOutcomeText(); };
    ShowRadioManager(context, &window_);
    window_.AutoStartClock->update();
    s.managerClosed();
}

void StationDialogs::bPlayListClick() {
    OpenPlayListEditor(
        editorContext(station_, viewListOpen_, [this](int topic) { showHelp(topic); }), &window_);
    window_.AutoStartClock->update();
}

void StationDialogs::bAboutClick() {
    AboutEnvironment environment;
    environment.logo = artwork::pixmap("logo.png");
    environment.showHelp = [this](int topic) { showHelp(topic); };
    TfrmAbout box(AboutTexts::ofProgram(), std::move(environment), &window_);
    box.exec();
    window_.AutoStartClock->update();
}

void StationDialogs::ViewList() {
    ViewLivePlayList(editorContext(station_, viewListOpen_, [this](int topic) { showHelp(topic); }),
                     &window_);
}

} // namespace corvalin
