// The main window's player: the transport commands on the active browser's rows,
// the play time in the status bar, and the volume and position bar.
#include <QAction>
#include <QDBusConnection>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/RegisterComp.h"
#include "app/dialogs.h"
#include "app/graphics.h"
#include "browser/MP3ListView.h"
#include "mainform.h"
#include "pictures/toolbaricons.h"
#include "playback/equalizer.h"
#include "playback/externalplayer.h"
#include "playback/volposbar.h"
#include "playback/xaudioplayer.h"

namespace velmar::gui {

namespace {

const QString kPrefs = QStringLiteral("Preferences");

QString MinutesSeconds(int seconds) {
    return QString("%1:%2").arg(seconds / 60, 2, 10, QChar('0')).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

void TMainForm::CreatePlayer() {
    XPlayer = new TXaudioPlayer(this);
    if (!XPlayer->Started()) Dialogs.Error(this, "Cannot Start Xaudio Player");
    auto make = [this](const QString& caption, int icon, void (TMainForm::*slot)()) {
        auto* a = new QAction(caption, this);
        SetToolbarIcon(a, icon);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    actPreviousTrack = make("Previous", tiPrevious, &TMainForm::actPreviousTrackExecute);
    actRewindTrack = make("Rewind 5s", tiRewind, &TMainForm::actRewindTrackExecute);
    actPlayTrack = make("Play", tiPlay, &TMainForm::actPlayTrackExecute);
    actPauseTrack = make("Pause", tiPause, &TMainForm::actPauseTrackExecute);
    actStopTrack = make("Stop", tiStop, &TMainForm::actStopTrackExecute);
    actForwardTrack = make("Forward", tiForward, &TMainForm::actForwardTrackExecute);
    actNextTrack = make("Next", tiNext, &TMainForm::actNextTrackExecute);
    actEqualizer = new QAction("&Equalizer", this);
    SetToolbarIcon(actEqualizer, tiEqualizer);
    actEqualizer->setCheckable(true);
    actEqualizer->setEnabled(false);  // until the player is set up
    connect(actEqualizer, &QAction::triggered, this, &TMainForm::actEqualizerExecute);
    Equalizer = new TEqualizer(MainReg, this);
    connect(Equalizer, &TEqualizer::SettingsChanged, this, &TMainForm::ApplySound);
    connect(Equalizer, &TEqualizer::Closed, this, [this] { actEqualizer->setChecked(false); });
    auto* bar = new QToolBar("Player", this);
    bar->setObjectName("PlayToolbar");
    bar->setIconSize(QSize(16, 16));
    bar->setFloatable(false);
    bar->addActions(
        {actPreviousTrack, actRewindTrack, actPlayTrack, actPauseTrack, actStopTrack, actForwardTrack, actNextTrack});
    bar->addSeparator();
    bar->addAction(actEqualizer);
    bar->addSeparator();
    VolPos = new TVolPosBar(bar);
    VolPos->SetPictures(QPixmap::fromImage(Graphics.SkinOrBuiltIn("VOLBAR.BMP", "ID_VOLUME_BAR")),
                        TGraphics::Transparent(Graphics.SkinOrBuiltIn("POSBTN.BMP", "ID_POSITION_BUTTON")));
    VolPos->SetVolumeMarker(TVolPosBar::kRange);
    bar->addWidget(VolPos);
    addToolBar(Qt::TopToolBarArea, bar);
    for (QAction* a : PlayerActions()) a->setEnabled(false);
    ConnectPlayer();
}

void TMainForm::ConnectPlayer() {
    connect(XPlayer, &TXaudioPlayer::NotifyInputDuration, this, [this](int seconds) {
        TotalSeconds = std::max(0, seconds - 1);
        TotalTime = MinutesSeconds(seconds);
        ShowTime(ElapsedSeconds);
    });
    connect(XPlayer, &TXaudioPlayer::NotifyInputTimecode, this,
            [this](int h, int m, int s) { ShowTime(h * 3600 + m * 60 + s); });
    connect(XPlayer, &TXaudioPlayer::NotifyInputPosition, this, [this](int offset, int range) {
        VolPos->SetPositionMarker(range > 0 ? offset * TVolPosBar::kRange / range : 0);
    });
    connect(XPlayer, &TXaudioPlayer::NotifyPlayerState, this, [this](int state) {
        PlayerState = state;
        UpdateCommandStates(ChildCount());
    });
    connect(XPlayer, &TXaudioPlayer::NotifyOutputName, this, [this](const QString& driver) {
        static bool told = false;  // once per run
        if (driver == "dummy" && !told) MessagePanel->setText("No sound output was found: playing silently.");
        told = told || driver == "dummy";
    });
    connect(XPlayer, &TXaudioPlayer::NotifyError, this,
            [this](const QString& message) { Dialogs.Error(this, message); });
    // Volume 0..255 from the marker, as the engine's master level in percent.
    connect(VolPos, &TVolPosBar::VolumeDragged, this, [this](int x) {
        if (InternalPlayer) return ApplySound();
        External->SetVolume(std::clamp(qRound(x * 1.185), 0, 255));
    });
    connect(VolPos, &TVolPosBar::PositionChosen, this, [this](int x) {
        if (InternalPlayer) return (void)XPlayer->InputSeek(x, TVolPosBar::kRange + 8);
        const qint64 length = External->LengthMs() / 1000;
        const qint64 ms =
            std::min(length * 1000, qint64(qRound(double(x + 1) * double(length) / TVolPosBar::kRange)) * 1000);
        if (!External->SetPositionMs(ms)) Dialogs.Error(this, "Error setting new songpos!");
    });
}

void TMainForm::InitPlayer() {
    TimePanel->setText("00:00/00:00");
    InternalPlayer = MainReg.ReadBool(kPrefs, "Use XPlayer", true);
    if (!InternalPlayer) return InitExternalPlayer();
    XPlayer->SetOutput(MainReg.ReadBool(kPrefs, "Use DirectSound", true) ? TXaudioPlayer::TOutput::Device
                                                                         : TXaudioPlayer::TOutput::SoundServer);
    XPlayer->SetInputPositionRange(TVolPosBar::kRange);
    XPlayer->SetPriority(MainReg.ReadInteger(kPrefs, "XPlayer Priority", 4));
    VolPos->SetPositionMarker(0);
    actEqualizer->setEnabled(true);
    ApplySound();
}

void TMainForm::ApplySound() {
    const TEqualizerSettings settings = Equalizer->Settings();
    const double level = settings.On ? LevelPercent(settings.Level) : 100.0;
    XPlayer->SetOutputVolume(255, 255, qRound(VolPos->VolumeMarker() * level / TVolPosBar::kRange));
    const std::array<double, 32> factors = Mpg123Factors(settings);
    XPlayer->SetCodecEqualizer(settings.On ? &factors : nullptr);
}

void TMainForm::actEqualizerExecute() {
    // The window shows, or hides again, beside the main window's top right corner.
    if (Equalizer->isVisible()) {
        Equalizer->hide();
        actEqualizer->setChecked(false);
        return;
    }
    Equalizer->move(geometry().topRight() - QPoint(Equalizer->width() + 24, -60));
    Equalizer->show();
    actEqualizer->setChecked(true);
}

void TMainForm::InitExternalPlayer() {
    External = new TExternalPlayer(QDBusConnection::sessionBus(), this);
    actEqualizer->setEnabled(false);  // the external player has its own
    if (!External->Available() && MainReg.ReadBool(kPrefs, "Winamp Autostart", false)) LaunchExternalPlayer(QString());
    IdleTimer = new QTimer(this);
    IdleTimer->setInterval(500);
    connect(IdleTimer, &QTimer::timeout, this, [this] {
        if (!VolPos->Dragging()) PollExternalPlayer();
    });
    IdleTimer->start();
    PauseTimer = new QTimer(this);
    PauseTimer->setInterval(500);
    connect(PauseTimer, &QTimer::timeout, this, [this] {
        // The time blinks while the player is paused.
        TimePanel->setText(TimePanel->text().isEmpty() ? PausedTime : QString());
    });
}

bool TMainForm::LaunchExternalPlayer(const QString& file) {
    QString command = MainReg.ReadString(kPrefs, "Winamp Path", QString());
    if (command.isEmpty()) command = TExternalPlayer::DefaultCommand();
    if (command.isEmpty() || !TExternalPlayer::Launch(command, file)) {
        Dialogs.Error(this, "Winamp path not found. Check preferences.");
        return false;
    }
    if (MainReg.ReadString(kPrefs, "Winamp Path", QString()).isEmpty())
        MainReg.WriteString(kPrefs, "Winamp Path", command);
    return true;
}

void TMainForm::PollExternalPlayer() {
    const int state = External->State();
    if (state != PlayerState) {
        PlayerState = state;
        UpdateCommandStates(ChildCount());
    }
    if (state == TExternalPlayer::kStopped) {
        VolPos->Playing = false;
        PauseTimer->stop();
        return;
    }
    VolPos->Playing = true;
    const qint64 length = External->LengthMs() / 1000, position = External->PositionMs();
    if (state == TExternalPlayer::kPaused) {
        if (!PauseTimer->isActive()) {
            PausedTime = TimePanel->text();
            PauseTimer->start();
        }
        return;
    }
    PauseTimer->stop();
    TotalSeconds = int(std::max<qint64>(0, length - 1));
    TotalTime = MinutesSeconds(int(length));
    ShowTime(int(position / 1000));
    VolPos->SetPositionMarker(qRound(double(position) / double(length * 1000 + 1) * TVolPosBar::kRange));
}

QList<QAction*> TMainForm::PlayerActions() {
    return {actPreviousTrack, actRewindTrack, actPlayTrack, actPauseTrack, actStopTrack, actForwardTrack, actNextTrack};
}

void TMainForm::ShowTime(int elapsed) {
    ElapsedSeconds = elapsed;
    const bool remaining = TimeMode == 1;
    const QString current = MinutesSeconds(remaining ? std::max(0, TotalSeconds - elapsed) : elapsed);
    TimePanel->setText((remaining ? "-" : "") + current + "/" + TotalTime);
}

void TMainForm::PlayFile(const QString& file) {
    PlayingFile = file;
    ElapsedSeconds = 0;
    VolPos->Playing = true;
    if (InternalPlayer) {
        XPlayer->InputOpen(file);
        XPlayer->Play();
        return;
    }
    if (!External->Available()) {
        if (MainReg.ReadBool(kPrefs, "Winamp Autostart", false)) LaunchExternalPlayer(file);
        return;
    }
    External->PlayFile(file);
    PollExternalPlayer();
}

void TMainForm::actPlayTrackExecute() {
    TBrowserForm* b = ActiveBrowser();
    if (!b) return;
    const QString file = b->MP3ListView->FocusedFileName();
    if (file.isEmpty()) {
        Dialogs.Information(this, "No file selected.");
        return;
    }
    // The song that is paused plays on where it stopped.
    if (InternalPlayer && PlayerState == TXaudioPlayer::Paused && file == PlayingFile) return (void)XPlayer->Play();
    PlayFile(file);
}

void TMainForm::actPauseTrackExecute() {
    if (InternalPlayer) return (void)XPlayer->Pause();
    External->Pause();
    PollExternalPlayer();
}

void TMainForm::actStopTrackExecute() {
    if (InternalPlayer) return (void)XPlayer->Stop();
    External->Stop();
    PollExternalPlayer();
}

void TMainForm::actRewindTrackExecute() {
    if (!InternalPlayer) return External->SeekBy(-5000);
    XPlayer->InputSeek(std::max(0, ElapsedSeconds - 5), TotalSeconds + 1);
}

void TMainForm::actForwardTrackExecute() {
    if (!InternalPlayer) return External->SeekBy(5000);
    XPlayer->InputSeek(std::min(TotalSeconds + 1, ElapsedSeconds + 5), TotalSeconds + 1);
}

void TMainForm::StepTrack(int step) {
    TBrowserForm* b = ActiveBrowser();
    if (!b) return;
    TMP3ListView* list = b->MP3ListView;
    const int row = list->FirstSelected();
    const int next = row + step;
    if (row < 0 || next < 0 || next >= list->Count()) return;
    list->SetRowSelected(row, false);
    list->SetRowSelected(next, true);
    list->setCurrentIndex(list->Model()->index(next, 0));
    list->scrollTo(list->currentIndex());
    b->UpdateStatus();
    PlayFile(list->FocusedFileName());
}

void TMainForm::actPreviousTrackExecute() { StepTrack(-1); }
void TMainForm::actNextTrackExecute() { StepTrack(1); }

void TMainForm::UpdateTransport(int s, int p, int c, bool editing) {
    const bool active = PlayerState == TXaudioPlayer::Playing || PlayerState == TXaudioPlayer::Paused;
    if (editing) {
        for (QAction* a : {actRewindTrack, actPlayTrack, actPauseTrack, actStopTrack, actForwardTrack})
            a->setEnabled(true);
        actPreviousTrack->setEnabled(false);
        actNextTrack->setEnabled(false);
        return;
    }
    actPreviousTrack->setEnabled(s == 1 && p >= 2);
    actNextTrack->setEnabled(s == 1 && p < c);
    actPlayTrack->setEnabled(s == 1);
    actRewindTrack->setEnabled(s == 1 && active);
    actForwardTrack->setEnabled(s == 1 && active);
    actPauseTrack->setEnabled(s >= 1 && active);
    actStopTrack->setEnabled(s >= 1 && active);
}

}  // namespace velmar::gui
