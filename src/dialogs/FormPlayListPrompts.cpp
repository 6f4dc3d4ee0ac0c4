// The play list editor's standard questions and file dialogs.

#include "dialogs/FormAllOrOne.h"
#include "dialogs/FormPlayList.h"
#include "dialogs/ManagerWidgets.h"

#include <QFileDialog>

namespace corvalin {

namespace {

// The one file or folder chosen in `dialog`; empty when it was cancelled.
QString firstChosen(QFileDialog& dialog) {
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
               ? dialog.selectedFiles().constFirst()
               : QString();
}

class StandardPrompts final : public TPlayListPrompts {
public:
    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons) override {
        QMessageBox box(icon, caption, withLineBreaks(text), buttons, parent);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    }

    QStringList chooseSongFiles(QWidget* parent, const QString& folder) override {
        QFileDialog dialog(parent, QStringLiteral("Select MP3 files to add to list"), folder,
                           QStringLiteral("MP3 files (*.mp3)"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    }

    QString chooseFolder(QWidget* parent, const QString& folder) override {
        QFileDialog dialog(parent, QStringLiteral("Select Directory"), folder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setLabelText(
            QFileDialog::LookIn,
            QStringLiteral("Locate and select the directory that contains MP3 files"));
        return firstChosen(dialog);
    }

    QString chooseSaveFile(QWidget* parent, const QString& folder,
                           const QString& proposedName) override {
        QFileDialog dialog(parent, QString(), folder, QStringLiteral("List file (*.lst)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("lst"));
        // The list writer asks before it replaces a file.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(proposedName);
        return firstChosen(dialog);
    }

    QString chooseListFile(QWidget* parent, const QString& folder) override {
        QFileDialog dialog(parent, QStringLiteral("Select MP3 files to add to list"), folder,
                           QStringLiteral("List files (*.lst);;All Files (*)"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        return firstChosen(dialog);
    }

    int allOrOne(QWidget* parent) override { return AskAllOrOne(parent); }
};

} // namespace

std::unique_ptr<TPlayListPrompts> standardPlayListPrompts() {
    return std::make_unique<StandardPrompts>();
}

} // namespace corvalin
