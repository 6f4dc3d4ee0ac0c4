#include "ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace corvalin::test {

QMessageBox::StandardButton ScriptedPrompts::message(QWidget*, QMessageBox::Icon icon,
                                                     const QString& caption, const QString& text,
                                                     QMessageBox::StandardButtons) {
    asked.push_back({icon, caption, text});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return QMessageBox::Cancel;
    }
    const QMessageBox::StandardButton answer = answers.front();
    answers.pop_front();
    return answer;
}

QStringList ScriptedPrompts::chooseSongFiles(QWidget*, const QString& offered) {
    ++dialogs;
    songFolderOffered = offered;
    return songFiles;
}

QString ScriptedPrompts::chooseFolder(QWidget*, const QString& offered) {
    ++dialogs;
    folderOffered = offered;
    return folder;
}

QString ScriptedPrompts::chooseSaveFile(QWidget*, const QString& offered, const QString& proposed) {
    ++dialogs;
    saveFolderOffered = offered;
    nameProposed = proposed;
    return saveFile;
}

QString ScriptedPrompts::chooseListFile(QWidget*, const QString& offered) {
    ++dialogs;
    listFolderOffered = offered;
    return listFile;
}

int ScriptedPrompts::allOrOne(QWidget*) {
    ++dialogs;
    return allOrOneAnswer;
}

} // namespace corvalin::test
