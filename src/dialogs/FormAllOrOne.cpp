#include "dialogs/FormAllOrOne.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace corvalin {

TfrmAllOrOne::TfrmAllOrOne(QWidget* parent)
    // No title-bar buttons: the only way out is OK (or Esc, which answers the same way).
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmAllOrOne"));
    setWindowTitle(QStringLiteral("Question"));
    setFixedSize(236, 132);
    setModal(true);

    rgAllOrOne = new QGroupBox(this);
    rgAllOrOne->setObjectName(QStringLiteral("rgAllOrOne"));
    rgAllOrOne->setGeometry(12, 8, 212, 76);
    rbCurrentFile = new QRadioButton(QStringLiteral("Change current file only"), rgAllOrOne);
    rbAllFiles = new QRadioButton(QStringLiteral("Change ALL files in list"), rgAllOrOne);
    auto* layout = new QVBoxLayout(rgAllOrOne);
    layout->addWidget(rbCurrentFile);
    layout->addWidget(rbAllFiles);
    group_ = new QButtonGroup(this);
    group_->addButton(rbCurrentFile, 0);
    group_->addButton(rbAllFiles, 1);
    rbCurrentFile->setChecked(true);

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setGeometry(74, 94, 88, 28);
    bOK->setDefault(true);
    bOK->setAutoDefault(true);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
}

int TfrmAllOrOne::selectedIndex() const {
    return group_->checkedId() == 1 ? 1 : 0;
}

void TfrmAllOrOne::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TfrmAllOrOne::FormClose() {
    allOrOne_ = selectedIndex();
}

int AskAllOrOne(QWidget* parent) {
    TfrmAllOrOne box(parent);
    box.exec();
    return box.AllOrOne();
}

} // namespace corvalin
