#include "app/controls/ModalDialog.h"

#include "app/controls/Images.h"

#include <QPushButton>

CModalDialog::CModalDialog(int templateId, const QString& caption, QWidget* parent) : QDialog(parent)
{
    wvctl::InitImages();
    setObjectName(QString::number(templateId));
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

int CModalDialog::DoModal()
{
    OnInitDialog();
    return exec();
}

QPushButton* CModalDialog::MakeButton(int id, const QString& text, bool isDefault)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::number(id));
    button->setDefault(isDefault);
    return button;
}

QPushButton* CModalDialog::MakeEndButton(int id, const QString& text, int result, bool isDefault)
{
    QPushButton* button = MakeButton(id, text, isDefault);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    return button;
}
