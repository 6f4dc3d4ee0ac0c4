#pragma once

#include "dialogs/FormPlayList.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

namespace corvalin::test {

// A question the play list editor asked.
struct Asked {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

// Answers the play list editor's questions and dialogs from a script and records what was asked.
// A question beyond the scripted answers fails the test and is answered Cancel.
class ScriptedPrompts final : public TPlayListPrompts {
public:
    std::vector<Asked> asked;
    std::deque<QMessageBox::StandardButton> answers;
    QStringList songFiles; // Add Files' choice
    QString folder;        // Add Dir's choice
    QString saveFile;      // Save List's choice
    QString listFile;      // Load List's choice
    int allOrOneAnswer = 0;
    // What the dialogs were offered, and how many were shown.
    QString songFolderOffered;
    QString folderOffered;
    QString saveFolderOffered;
    QString nameProposed;
    QString listFolderOffered;
    int dialogs = 0;

    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon icon, const QString& caption,
                                        const QString& text, QMessageBox::StandardButtons) override;
    QStringList chooseSongFiles(QWidget*, const QString& offered) override;
    QString chooseFolder(QWidget*, const QString& offered) override;
    QString chooseSaveFile(QWidget*, const QString& offered, const QString& proposed) override;
    QString chooseListFile(QWidget*, const QString& offered) override;
    int allOrOne(QWidget*) override;
};

} // namespace corvalin::test
