#pragma once

#include "library/PlayList.h"
#include "station/SettingsStore.h"

#include <QString>
#include <functional>

class QWidget;

namespace corvalin {

class RandomSource;

// What the play list editor needs from the running station. The editor is modal but the station
// keeps playing behind it (slot changes included), so live values are asked for through the
// callbacks each time they are needed. Window thread only.
struct PlayListEditorContext {
    // The live list of the current slot (`CurrentPlayList`). The editor only reads it: for the
    // read-only view.
    TPlayListTable& CurrentPlayList;
    // The settings in memory: Duplicates, LastDir1, LastDir2 and ArtistSource. The editor changes
    // Duplicates, LastDir1 and LastDir2 here; the main window stores them when it closes.
    StationSettings& Settings;
    // The station folder, with a trailing "/" (lists are offered from its "Lists/").
    QString ProgramFolder;
    // Set while the read-only view is open; guards against a second view.
    bool& ViewListOpen;

    // The current slot's list file (`DJSlots[CurrentSlot].PlayList`); empty when no slot applies.
    std::function<QString()> CurrentListFile;
    // The current slot's ListOrder (0 original, 1 random).
    std::function<int()> CurrentListOrder;
    // The row of the queued song in the live list (`CurrentListIndex`).
    std::function<int()> CurrentListIndex;
    // The queued song's file (`NextSongInfo.FileName`).
    std::function<QString()> NextSongFile;
    // Saves the live list with its played marks into the current slot's file, without a question
    // (once per editor, before it reads any list). The station decides whether the list in memory
    // may be written there.
    std::function<void()> SaveLiveList;
    // The editor has just saved the current slot's file: the station reloads its live list from it
    // (LoadList, sort by the slot's ListOrder, and ListChanged, since the rows moved).
    std::function<void()> ReloadLiveList;
    // Opens the help window at a topic.
    std::function<void(int topic)> ShowHelp;
    // Random keys of new entries; null: the editor draws its own.
    RandomSource* Random = nullptr;
};

// The three ways the main window and the Radio Manager open the editor. Each creates the editor,
// shows it modally and destroys it.

// The main window's Play Lists button: an empty editor for a new list.
void OpenPlayListEditor(const PlayListEditorContext& context, QWidget* parent = nullptr);

// The Radio Manager's View List: full editing of the list file `file` (which must exist; the
// caller checks).
void OpenPlayListEditorOnFile(const PlayListEditorContext& context, const QString& file,
                              QWidget* parent = nullptr);

// A double click on a title panel: the live list around the queued song, read-only. Does nothing
// while a view is open (ViewListOpen) or when the current slot's list file does not exist.
void ViewLivePlayList(const PlayListEditorContext& context, QWidget* parent = nullptr);

} // namespace corvalin
