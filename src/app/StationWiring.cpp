#include "StationWiring.h"

#include "FormCorvalinRadio.h"
#include "StationDialogs.h"
#include "station/StationController.h"

#include <QApplication>

namespace corvalin {

void connectStation(TfrmCorvalinRadio& window, StationController& station) {
    auto* dialogs = new StationDialogs(window, station);
    QObject::connect(&window, &TfrmCorvalinRadio::commandRequested, &station,
                     [&station, dialogs](StationCommand command) {
                         switch (command) {
                         case StationCommand::Manager:
                             dialogs->bManagerClick();
                             break;
                         case StationCommand::PlayList:
                             dialogs->bPlayListClick();
                             break;
                         case StationCommand::About:
                             dialogs->bAboutClick();
                             break;
                         case StationCommand::ViewList:
                             dialogs->ViewList();
                             break;
                         default:
                             station.command(command);
                         }
                     });
    QObject::connect(&window, &TfrmCorvalinRadio::volumeChanged, &station,
                     [&station](VolumeSlider slider, int value) {
                         switch (slider) {
                         case VolumeSlider::Player:
                             station.PlayerVolumeChange(value);
                             break;
                         case VolumeSlider::DJ:
                             station.DJVolumeChange(value);
                             break;
                         case VolumeSlider::Wave:
                             station.WaveVolumeChange(value);
                             break;
                         }
                     });
    QObject::connect(&window, &TfrmCorvalinRadio::activated, &station,
                     &StationController::FormActivate);
    QObject::connect(&window, &TfrmCorvalinRadio::closing, &station, &StationController::FormClose);
    QObject::connect(&station, &StationController::streamStatusChanged, &window,
                     &TfrmCorvalinRadio::showStreamStatus);
    window.showStreamStatus(station.streamStatus());
}

void raiseForSecondStart(TfrmCorvalinRadio& window, const StationController& station) {
    if (!station.created()) {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
        return;
    }
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace corvalin
