// The station controller's construction, start-up and shutdown. The buttons, timers and what
// playout asks of it are in StationControllerFlow.cpp; the stream, the as-run log, loudness and
// the journal's lines in StationControllerOnAir.cpp.
#include "station/StationController.h"

#include "audio/Analysis.h"
#include "audio/LoudnessScanner.h"
#include "core/Helpers.h"
#include "platform/Clock.h"
#include "platform/Version.h"
#include "station/AsRunLog.h"
#include "station/StationTrace.h"
#include "station/UserName.h"
#include "voice/speech/DJSpeech.h"
#include "voice/speech/DJSpeechEngine.h"
#include "voice/speech/TTSBufNotifySink.h"

#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>

namespace corvalin {

// The settings store as the news feed edits it: loaded when first asked for, written by flush().
// A store that exists but cannot be read is never written back.
class StationController::SettingsForNews final : public NewsSettingsStore {
public:
    SettingsForNews(const SettingsStore& store, const StationSettings& settings)
        : store_(store), settings_(settings) {}
    IniFile& settings() override {
        if (!loaded_) {
            ini_ = IniFile();
            readable_ = static_cast<bool>(store_.load(settings_.SameSettings, ini_));
            loaded_ = true;
        }
        return ini_;
    }
    void flush() override {
        if (loaded_ && readable_)
            (void)store_.flush(settings_.SameSettings, ini_);
        loaded_ = false;
    }
    QString zipCode() const override { return settings_.ZipCode; }

private:
    const SettingsStore& store_;
    const StationSettings& settings_;
    IniFile ini_;
    bool loaded_ = false;
    bool readable_ = false;
};

// A deck that reports its starts and ends to the timing trace.
// It also tells its owner what goes on the air and when it ends (the as-run log, the stream).
class StationController::TracedDeck final : public Deck {
public:
    TracedDeck(StationController& owner, int player, TDSPlayerChannel& channel)
        : owner_(owner), player_(player), inner_(channel) {
        inner_.OnEndPlay = [this] {
            trace::event("song-end", QString::number(player_));
            owner_.deckEnded(player_);
            if (OnEndPlay)
                OnEndPlay();
        };
        inner_.OnEndFade = [this] {
            owner_.deckEnded(player_);
            if (OnEndFade)
                OnEndFade();
        };
    }
    void Open(const QString& file) override {
        inner_.Open(file);
        file_ = file;
    }
    void OpenAsync(const QString& file, std::function<void(bool opened)> done) override {
        inner_.OpenAsync(file, [this, file, done = std::move(done)](bool opened) {
            if (opened)
                file_ = file;
            done(opened);
        });
    }
    void Close() override {
        owner_.deckEnded(player_);
        inner_.Close();
    }
    void Prepare() override { inner_.Prepare(); }
    void Play() override {
        const bool resuming = inner_.State() == DeckState::Paused;
        inner_.Play();
        if (resuming) {
            owner_.deckPaused(player_, false);
        } else {
            trace::event("song-start", QString::number(player_) + QLatin1Char(' ') + file_);
            owner_.deckStarted(player_, file_);
        }
    }
    void Pause() override {
        inner_.Pause();
        owner_.deckPaused(player_, true);
    }
    void Stop() override {
        owner_.deckEnded(player_);
        inner_.Stop();
    }
    void Fade(std::uint32_t ms, std::int32_t endVolume) override { inner_.Fade(ms, endVolume); }
    void SeekToEnd() override { inner_.SeekToEnd(); }
    void SetVolume(std::int32_t volume) override { inner_.SetVolume(volume); }
    DeckState State() const override { return inner_.State(); }
    std::int32_t Position() override { return inner_.Position(); }
    std::int32_t Duration() const override { return inner_.Duration(); }

private:
    StationController& owner_;
    int player_;
    ChannelDeck inner_;
    QString file_;
};

StationController::StationController(StationEnvironment environment, IStationView& view,
                                     StationShell& shell, QObject* parent)
    : QObject(parent), env_(std::move(environment)), view_(view), shell_(shell),
      clock_(*env_.clock), random_(*env_.random), programFolder_(env_.paths.programFolder),
      store_(env_.paths, env_.log), slotList_(table_, random_),
      scheduler_(clock_, random_, state_.Talk.SongsUntilTalk), phrases_(random_) {
    settings_ = defaultSettings(programFolder_, clock_.now().time());
    if (!env_.makeTimer)
        env_.makeTimer = [](std::function<void()> f) {
            return std::make_unique<QtOneShotTimer>(std::move(f));
        };
    timer1_ = env_.makeTimer([this] { sequencer_->Timer1Timer(); });
    timer2_ = env_.makeTimer([this] { sequencer_->Timer2Timer(); });
    timer3_ = env_.makeTimer([this] { sequencer_->Timer3Timer(); });
    timer4_ = env_.makeTimer([this] { sequencer_->Timer4Timer(); });
    timer6_ = env_.makeTimer([this] { Timer6Timer(); });
    timer7_ = env_.makeTimer([this] { Timer7Timer(); });
    timer8_ = env_.makeTimer([this] { sequencer_->Timer8Timer(); });

    newsStore_ = std::make_unique<SettingsForNews>(store_, settings_);
    NewsFeedSetup newsSetup = env_.news;
    newsSetup.programFolder = programFolder_;
    news_ =
        std::make_unique<NewsFeed>(newsSetup, state_.News, *newsStore_, clock_, *env_.clockSetter);
    connect(news_.get(), &NewsFeed::newVersionNotice, this,
            [this](const QString& text, const QString& caption, int ms) {
                view_.showTimerBox(text, caption, ms);
            });
    connect(news_.get(), &NewsFeed::fetchOutcomeChanged, this, [this](const QString& text) {
        trace::event("fetch-end", text);
        view_.showFetchOutcome(text);
    });

    // Both decks exist from the start, so that Stop is always safe; the device opens on the
    // first song.
    player1_ = std::make_unique<TDSPlayer>(env_.device);
    player2_ = std::make_unique<TDSPlayer>(env_.device);
    if (env_.loudness && !env_.channelOptions.gainDb)
        env_.channelOptions.gainDb = [scanner = env_.loudness](const QString& file) {
            return scanner->gainFor(file);
        };
    if (env_.loudness && !env_.channelOptions.trim)
        env_.channelOptions.trim =
            [scanner = env_.loudness](const QString& file) -> std::optional<PlayWindow> {
            const std::optional<AudibleBounds> b = scanner->trimFor(file);
            if (!b)
                return std::nullopt;
            return PlayWindow{b->FromMs, b->ToMs};
        };
    channel1_ = std::make_unique<TDSPlayerChannel>(player1_.get(), env_.channelOptions);
    channel2_ = std::make_unique<TDSPlayerChannel>(player2_.get(), env_.channelOptions);
    deck1_ = std::make_unique<TracedDeck>(*this, 1, *channel1_);
    deck2_ = std::make_unique<TracedDeck>(*this, 2, *channel2_);
    for (int i = 0; i < 2; ++i) {
        const int player = i + 1;
        meterTimer_[i] = new QTimer(this);
        meterTimer_[i]->setInterval(kMeterTimerMs);
        connect(meterTimer_[i], &QTimer::timeout, this,
                [this, player] { PlayerTimerTimer(player); });
        positionTimer_[i] = new QTimer(this);
        positionTimer_[i]->setInterval(kPositionTimerMs);
        connect(positionTimer_[i], &QTimer::timeout, this,
                [this, player] { PlayerTimerATimer(player); });
    }
    sequencer_ = std::make_unique<Sequencer>(
        state_, scheduler_, table_, settings_.DJSlots, settings_, view_, *deck1_, *deck2_,
        StationTimers{*timer1_, *timer2_, *timer3_, *timer4_, *timer7_, *timer8_}, *this, clock_,
        random_);
    phrases_.ReapplyTimeSlot = [this] {
        scheduler_.forceReload();
        CheckTimeSlot();
    };
}

StationController::~StationController() {
    if (env_.asRunLog)
        env_.asRunLog->endAll(clock_.now()); // what is still on the air is cut by the close
    if (env_.stream) {
        env_.stream->setStatusHandler({});
        env_.stream->setOutputHandler({});
        if (env_.device)
            env_.device->setStreamTap(nullptr);
    }
    for (QTimer* t : meterTimer_)
        t->stop();
    for (QTimer* t : positionTimer_)
        t->stop();
    // The talk and the speech refer to the engine; the decks' channels to their players.
    talk_.reset();
    speech_.reset();
    engine_.reset();
    sequencer_.reset();
    deck1_.reset();
    deck2_.reset();
    analysis_[0].reset();
    analysis_[1].reset();
    channel1_.reset();
    channel2_.reset();
}

OneShotTimer& StationController::timer(int number) {
    switch (number) {
    case 1:
        return *timer1_;
    case 2:
        return *timer2_;
    case 3:
        return *timer3_;
    case 4:
        return *timer4_;
    case 6:
        return *timer6_;
    case 7:
        return *timer7_;
    default:
        return *timer8_;
    }
}

bool StationController::playerTimersActive(int player) const {
    const int i = player == 1 ? 0 : 1;
    return meterTimer_[i]->isActive() || positionTimer_[i]->isActive();
}

bool StationController::decksSounding() const {
    return sequencer_->deckState(1) == DeckState::Playing ||
           sequencer_->deckState(2) == DeckState::Playing;
}

const _rDJ& StationController::currentSlot() const {
    const int slot = scheduler_.CurrentSlot;
    return settings_.DJSlots[static_cast<std::size_t>(slot >= 1 && slot <= kSlotCount ? slot : 0)];
}

// ---------------------------------------------------------------------------------------------
// Start-up and shutdown

void StationController::FormCreate() {
    state_.NewSongStarted = true;
    state_.ListSavePending = true;
    state_.CurrentListIndex = -1;
    state_.SkipRequested = false;
    state_.Speech = DJSpeechFlags{};
    view_.setDJProgress(0, 100);
    view_.setDJProgressVisible(false);

    // A damaged settings file is kept before the first write drops what could not be read.
    store_.keepDamagedStore(true, clock_.now());
    store_.keepDamagedStore(false, clock_.now());
    (void)store_.readAtCreate(settings_); // the values are read even when the flag is not stored
    shell_.setWindowPosition(settings_.Top, settings_.Left);
    restartPending_ = settings_.Restart;
    startPlay_ = settings_.StartPlay;
    applyVolumesToView();

    view_.setVersionText(QStringLiteral("Corvalin Radio ver. ") + programVersion() +
                         QLatin1Char(' ') + legalNotice());
    view_.setDJName(QString());
    view_.showFetchOutcome(news_->lastOutcomeText());
    for (int player = 1; player <= 2; ++player) {
        view_.setLengthText(player, QString());
        view_.setRemainingText(player, QString());
        view_.setTitleText(player, QString());
        view_.setTitleScrolling(player, false);
    }
    userName_ = env_.userName.isEmpty() ? UserName() : UserNameFromLogin(env_.userName);

    ReadIni();
    if (closed_ || terminating_)
        return;
    view_.setStationTitle(settings_.StationIdentification);
    applyStreamAndLog();
    if (env_.asRunLog && settings_.LogEnabled)
        env_.asRunLog->removeOlderThan(settings_.LogKeepDays, clock_.now().date());
    scheduler_.forceReload();
    CheckTimeSlot();
    created_ = true;
    shell_.journal(JournalLine::StartUp, startUpSummary());
}

void StationController::ReadIni() {
    const bool sameSettings = store_.readSameSettings();
    TVoiceStartUp voice = ReadVocabulary(programFolder_, sameSettings, userName_);
    if (voice.error) {
        closed_ = true;
        view_.showMessage(MessageKind::Error, kSetupErrorCaption, *voice.error);
        shell_.terminate();
        return;
    }
    vocabulary_ = voice.vocabulary;
    // Without a window there is no Radio Manager to click: the shell says what to do instead.
    if (const QString reminder = shell_.listSetUpReminder(); !reminder.isEmpty())
        vocabulary_.zzDJ4 = reminder;
    phrases_.PhrasesFile = voice.PhrasesFile;
    news_->setLongPause(vocabulary_.LongPause);

    // A password an older version wrote into a settings file leaves it now, while the file can be
    // written: the shared one above all, which every user may read.
    (void)store_.moveSecretsOut(true);
    if (!sameSettings)
        (void)store_.moveSecretsOut(false);
    // A zip code written empty is none either.
    const bool askZip =
        store_.readIni(settings_, clock_.now().time()) || settings_.ZipCode.trimmed().isEmpty();
    if (env_.loudness)
        env_.loudness->setSettings(store_.readLoudness());
    applyAutoClocks();
    // Only a zip code somebody gave is stored: a prompt nobody can answer (no window) leaves
    // none, and the next start asks again.
    if (askZip) {
        shell_.askZipCode(settings_);
        if (zipCodeGiven(settings_.ZipCode)) {
            (void)store_.writeZipCode(settings_);
            restartPending_ = true;
        }
    }
}

void StationController::applyAutoClocks() {
    view_.setAutoClock(AlarmClock::AutoStart, settings_.AutoStart, settings_.AutoStartTime);
    view_.setAutoStopClockRunning(settings_.AutoStop);
    view_.setAutoClock(AlarmClock::AutoStop, settings_.AutoStop, settings_.AutoStopTime);
}

void StationController::speakVoiceTest(const QString& voiceModeName) {
    if (speech_)
        speech_->speakTest(voiceModeName);
}

void StationController::managerClosed() {
    if (closed_)
        return;
    news_->setDefinitions(settings_.News);
    view_.setStationTitle(settings_.StationIdentification);
    if (env_.loudness)
        env_.loudness->setSettings(store_.readLoudness());
    applyStreamAndLog();
    CheckTimeSlot();
}

void StationController::reloadLiveList() {
    if (closed_)
        return;
    scheduler_.forceReload(); // re-read without writing the old rows over the saved file
    CheckTimeSlot();
    scheduler_.ListChanged = true; // the rows moved: the next choice starts from the top
}

void StationController::applyVolumesToView() {
    // The player and main sliders have fixed ranges; the DJ slider's are stored.
    view_.setVolume(VolumeSlider::Wave, settings_.WaveVolume);
    view_.setVolume(VolumeSlider::Player, settings_.PlayerVolume);
    view_.setVolumeRange(VolumeSlider::DJ, settings_.DJVolumeMin, settings_.DJVolumeMax,
                         settings_.DJVolumeInc);
    view_.setVolume(VolumeSlider::DJ, settings_.DJVolume);
}

void StationController::FormActivate() {
    if (closed_ || !created_ || terminating_)
        return;
    WaveVolumeChange(view_.volume(VolumeSlider::Wave));
    if (activateDone_)
        return;
    activateDone_ = true;
    trace::event("window-shown");
    try {
        state_.TransportState = tsNone;
        state_.News.clear();
        scheduler_.ListChanged = true;
        const QDateTime never = neverFrom(clock_.now());
        state_.Talk.LastDJTalk = never;
        state_.Talk.LastPSA = never;
        state_.Talk.SongsSinceTalk = 100;
        news_->setLastNewsFetch(never);
        news_->setSongsSinceFetch(100);
        news_->CheckDefaults();
        settings_.News = news_->definitions();
        state_.ActivePlayer = 2;

        QString setupError;
        engine_ = env_.makeSpeechEngine(&setupError);
        if (!setupError.isEmpty())
            view_.showMessage(MessageKind::Error, kSetupErrorCaption, setupError);
        speech_ = std::make_unique<DJSpeech>(*engine_, random_, state_.Speech, programFolder_);
        connectSpeech();
        talk_ = std::make_unique<TDJTalk>(
            TDJTalk::Inputs{vocabulary_, phrases_, lists_, state_.Songs, state_.News, state_.Talk,
                            clock_, random_, *this, localeTimeSeparator()});
        if (engine_->voices().isEmpty())
            view_.showMessage(MessageKind::Warning, QStringLiteral("Warning"), kNoTTSText);

        const int volume = view_.volume(VolumeSlider::Player);
        channel1_->SetVolume(volume);
        channel2_->SetVolume(volume);
        if (news_->NewsDefaultsChanged())
            view_.showMessage(MessageKind::Information, QStringLiteral("Notice"),
                              kNewsDefaultsChangedText);
        feedLoudness(true); // the list is measured before the first song
    } catch (const std::exception&) {
        sequencer_->bStopClick();
    }
    bDJTestClick();
}

void StationController::connectSpeech() {
    connect(speech_.get(), &DJSpeech::armTimer3, this, [this](int ms) { timer3_->start(ms); });
    connect(speech_.get(), &DJSpeech::hurryTimer3, this, [this](int ms) {
        if (timer3_->isActive() && timer3_->remainingTime() > ms)
            timer3_->start(ms);
    });
    connect(speech_.get(), &DJSpeech::armTimer7, this, [this](int ms) { timer7_->start(ms); });
    connect(speech_.get(), &DJSpeech::stopTimer7, this, [this] { timer7_->stop(); });
    connect(speech_.get(), &DJSpeech::barChanged, this, [this] { showDJBar(); });
    connect(speech_.get(), &DJSpeech::volumeSliderChanged, this, [this] { showDJVolumeSlider(); });
    speech_->setNextSongNeverOverlap([this] { return state_.NextSongInfo().NeverOverlap; });
    connect(engine_.get(), &DJSpeechEngine::TextDataStarted, this, [this] { voiceStarted(); });
    connect(engine_.get(), &DJSpeechEngine::TextDataDone, this, [this] {
        voiceEnded();
        // The start-up decision polls for the end of the voice test: it need not wait for its
        // next poll (up to two seconds of silence before the first song).
        if (timer6_->isActive() && !state_.Speech.DJSpeaking)
            timer6_->start(0);
    });
    if (trace::enabled()) {
        connect(engine_.get(), &DJSpeechEngine::TextDataStarted, this, [this] {
            tracingVoiceTest_ = state_.Speech.DJTestRunning;
            trace::event(tracingVoiceTest_ ? "voice-test-start" : "talk-start");
        });
        connect(engine_.get(), &DJSpeechEngine::BookMark, this, [](quint32 mark) {
            if (mark == kIntroMark)
                trace::event("bookmark");
        });
        connect(engine_.get(), &DJSpeechEngine::TextDataDone, this,
                [this] { trace::event(tracingVoiceTest_ ? "voice-test-end" : "talk-end"); });
    }
}

void StationController::showDJBar() {
    const DJProgressBar& bar = speech_->bar();
    view_.setDJProgressVisible(bar.ShowBorder);
    view_.setDJProgress(static_cast<int>(std::min<qint64>(bar.Position, INT_MAX)),
                        static_cast<int>(std::min<qint64>(bar.Max, INT_MAX)));
}

void StationController::showDJVolumeSlider() {
    const DJVolumeSlider& slider = speech_->volumeSlider();
    view_.setVolumeRange(VolumeSlider::DJ, slider.minimum, slider.maximum, slider.step);
    view_.setVolume(VolumeSlider::DJ, slider.value);
    view_.setVolumeEnabled(VolumeSlider::DJ, slider.enabled);
    settings_.DJVolumeMin = slider.minimum;
    settings_.DJVolumeMax = slider.maximum;
    settings_.DJVolumeInc = slider.step;
    settings_.DJVolume = slider.value;
}

void StationController::Timer6Timer() {
    timer6_->stop();
    if (state_.Speech.DJSpeaking) {
        timer6_->start(kTimer6Ms);
        return;
    }
    showIdleButtons();
    if (!startupChecked_ && (restartPending_ || startPlay_)) {
        restartPending_ = false;
        sequencer_->bPlayClick();
    }
    startupChecked_ = true;
}

// The buttons after a voice test, as the transport really stands: Play pressed during the test
// has already gone on the air, and a test during a pause leaves the station paused.
void StationController::showIdleButtons() {
    switch (state_.TransportState) {
    case tsPlaying:
        view_.setButtonEnabled(TransportButton::Stop, state_.SongFound);
        return;
    case tsPaused:
        view_.setButtonEnabled(TransportButton::Play, true);
        view_.setButtonEnabled(TransportButton::Stop, true);
        view_.setButtonEnabled(TransportButton::DJTest, true);
        return;
    default:
        view_.setButtonEnabled(TransportButton::Play, true);
        view_.setButtonEnabled(TransportButton::Pause, false);
        view_.setButtonEnabled(TransportButton::Stop, false);
        view_.setTransportDown(TransportButton::Stop);
        view_.setButtonEnabled(TransportButton::Next, false);
        view_.setButtonEnabled(TransportButton::DJTest, true);
    }
}

void StationController::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    try {
        sequencer_->bStopClick();
        SaveList();
        settings_.Top = shell_.windowTop();
        settings_.Left = shell_.windowLeft();
        settings_.WaveVolume = view_.volume(VolumeSlider::Wave);
        settings_.PlayerVolume = view_.volume(VolumeSlider::Player);
        settings_.DJVolume = view_.volume(VolumeSlider::DJ);
        (void)store_.writeAtClose(settings_);
    } catch (const std::exception&) {
        // The window closes anyway; the stored run flag then makes the next start play.
    }
}

} // namespace corvalin
