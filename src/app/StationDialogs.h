#pragma once

#include <QObject>

namespace corvalin {

class StationController;
class TfrmCorvalinRadio;

// Opens the station management dialogs from the main window over the running station: the
// Radio Manager (with the advanced options, the phrase editor and the play list editor behind it),
// the play list editor, the read-only view of the live list and the About box. Each dialog is
// modal; the station plays on behind it. Window thread only.
class StationDialogs final : public QObject {
    Q_OBJECT
public:
    StationDialogs(TfrmCorvalinRadio& window, StationController& station);

    void bManagerClick();
    void bPlayListClick();
    void bAboutClick();
    void ViewList();

private:
    void showHelp(int topic);
    void openListFile(const QString& file);

    TfrmCorvalinRadio& window_;
    StationController& station_;
    bool viewListOpen_ = false;
};

} // namespace corvalin
