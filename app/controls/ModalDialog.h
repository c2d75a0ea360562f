#pragma once
// CModalDialog: the base of the small modal dialogs. A dialog carries its template id as
// its object name and each control its id, so code and tests find controls by id. Showing
// runs OnInitDialog, then the dialog modally; the result is the id of the button that
// ended it, 2 when Esc or the close box did.

#include <QDialog>
#include <QString>

class QPushButton;

class CModalDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdOk = 1;
    static constexpr int kIdCancel = 2;
    static constexpr int kIdYes = 6;
    static constexpr int kIdNo = 7;

    // Initialises and shows the dialog modally; its result.
    int DoModal();

    // The child with the given id (its object name), or null.
    template <typename T = QWidget>
    T* ItemAs(int id) const { return findChild<T*>(QString::number(id)); }

    // Esc and the close box end the dialog with 2.
    void reject() override { done(kIdCancel); }

protected:
    CModalDialog(int templateId, const QString& caption, QWidget* parent);
    // Fills the controls before the dialog shows.
    virtual void OnInitDialog() {}
    // A push button with id as its object name; the default button answers Enter.
    QPushButton* MakeButton(int id, const QString& text, bool isDefault);
    // A push button that ends the dialog with result.
    QPushButton* MakeEndButton(int id, const QString& text, int result, bool isDefault);
};
