#pragma once
// The page side of the shared wizard model: one child dialog of a sheet, identified by its
// template id, with the virtuals the sheet asks on activation, Back, Next and Finish.

#include "wizards/WizardSheet.h"

#include <QWidget>

class QLabel;

class CWizardPage : public QWidget {
    Q_OBJECT

public:
    ~CWizardPage() override;

    // The page's dialog template id; it also identifies the page in navigation codes.
    virtual int GetPageId() const = 0;
    // Called every time the page is shown; the result is not used.
    virtual int OnSetActive() { return 1; }
    // Asked when Next or Back is pressed; a navigation code.
    virtual PageNavCode OnWizardNext() { return kNavNeighbour; }
    virtual PageNavCode OnWizardBack() { return kNavNeighbour; }
    // Asked when Finish is pressed; non-zero lets the wizard finish.
    virtual int OnWizardFinish() { return 1; }

    // Runs when the sheet creates the page, before any page is shown; remembers the sheet.
    virtual void OnInitDialog();

    CWizardSheet* GetSheet() const { return sheet_; }
    int GetTemplateId() const { return templateId_; }

    // The child item with the given id (its object name), or null.
    QWidget* Item(int id) const;
    template <typename T>
    T* ItemAs(int id) const { return qobject_cast<T*>(Item(id)); }

protected:
    CWizardPage(int templateId, QWidget* parent);

    // Template building: a child placed in dialog units, carrying id as its object name
    // (ids below 0 stay unnamed, like static texts without an id).
    template <typename T, typename... Args>
    T* Place(int id, int x, int y, int cx, int cy, Args&&... args)
    {
        T* item = new T(std::forward<Args>(args)..., this);
        PlaceItem(item, id, x, y, cx, cy);
        return item;
    }
    void PlaceItem(QWidget* item, int id, int x, int y, int cx, int cy);
    // The hidden title item 1433.
    void SetTemplateTitle(const QString& title);
    // The picture panel at the left of a setup page.
    void AddSidePanel(int cx, int cy);

    // The sheet's forwarders every page has.
    void SetWizardButtons(WizardButtonCode code);
    void BeginBusy();
    void EndBusy();

private:
    int templateId_;
    CWizardSheet* sheet_ = nullptr;
};
