#pragma once
// CBarometricDialog: how a multi-parameter sonde compensates its pressure channel. With a
// vented cable the sonde needs no barometric value; without one it uses the value stored in
// its site preferences, which the user types in one of the barometric pressure units,
// derives from an elevation through the standard atmosphere, or takes from the sonde's own
// barometer ("Take a reading", which switches the sonde to vented for the reading). OK
// writes the choice to the sonde (WriteBaroSetting); Cancel after a reading puts back what
// the sonde held when the dialog opened.

#include "app/controls/ModalDialog.h"
#include "comm/protocol/DeviceRecords.h"

#include <cstdint>

class CQorDevice;
class CUnitCatalog;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CBarometricDialog : public CModalDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 376;
    static constexpr int kIdVented = 1442;
    static constexpr int kIdNonVented = 1855;
    static constexpr int kIdUseValue = 1856;
    static constexpr int kIdValue = 1857;
    static constexpr int kIdPressureUnits = 1858;
    static constexpr int kIdByElevation = 1859;
    static constexpr int kIdElevation = 1860;
    static constexpr int kIdLengthUnits = 1861;
    static constexpr int kIdTakeReading = 1936;
    // The device type that has no vented cable.
    static constexpr uint8_t kNonVentedOnlyType = 35;
    // The parameter id of the sonde's built-in barometer.
    static constexpr int kBarometerParameter = 3;
    // The value shown for a device that stores none.
    static constexpr double kDefaultPsi = 14.7;

    // record: the device's site preferences as its caller read them; after a successful write
    // it holds what was written. device may be null (nothing is then written or read).
    CBarometricDialog(QWidget* parent, uint8_t deviceType, SitePrefsRecord& record, CQorDevice* device);

    // What the dialog holds.
    bool IsNonVented() const { return m_nonVented; }
    double GetPsi() const { return m_psi; }
    double GetShownValue() const { return m_shown; }
    double GetElevation() const { return m_elevation; }

    // The handlers (public for tests, which drive them as the user would).
    void OnVented();
    void OnNonVented();
    void OnUseValue();
    void OnByElevation();
    void OnTakeReading();
    void OnOK();
    void OnCancel();
    void reject() override { OnCancel(); }

    // Writes the barometric value (psi) and the non-vented flag into the device's site
    // preferences: the stored record, refreshed from the device (504, no record there, goes on
    // from the stored one), is written back with the two fields and then stored. True when
    // written, or when the device has no session (nothing to write); false after a failure,
    // which has been shown.
    bool WriteBaroSetting(bool nonVented, double psi);

protected:
    void OnInitDialog() override;

private:
    void EnableForVented();
    void EnableForNonVented();
    void OnValueEdited();
    void OnElevationEdited();
    void OnPressureUnitChanged();
    void OnLengthUnitChanged();
    void WriteValue(double value);
    void WriteElevation(double value);
    void UpdateOkButton();
    int PressureUnit() const;
    int LengthUnit() const;

    SitePrefsRecord& m_record;
    const SitePrefsRecord m_original;
    CQorDevice* m_device;
    CUnitCatalog* m_catalog = nullptr;
    bool m_ventedOnlyLock;
    bool m_nonVented;
    double m_psi;
    double m_shown = kDefaultPsi;
    double m_elevation = 0.0;
    int m_pressureUnit = -1;   // the unit id the shown value is in
    int m_lengthUnit = -1;     // the unit id the elevation is in
    bool m_writing = false;    // the dialog itself writes an edit
    bool m_deviceChanged = false;  // a reading switched the device to vented

    QRadioButton* m_vented = nullptr;
    QRadioButton* m_nonVentedButton = nullptr;
    QButtonGroup* m_choices = nullptr;
    QRadioButton* m_useValue = nullptr;
    QRadioButton* m_byElevation = nullptr;
    QRadioButton* m_takeReading = nullptr;
    QLineEdit* m_valueEdit = nullptr;
    QLineEdit* m_elevationEdit = nullptr;
    QComboBox* m_pressureUnits = nullptr;
    QComboBox* m_lengthUnits = nullptr;
    QPushButton* m_ok = nullptr;
};

// The installed "Edit Barometric Channel" hook: runs the dialog modally; IDOK (1) or IDCANCEL (2).
int RunBarometricDialog(QWidget* parent, uint8_t deviceType, SitePrefsRecord& record, CQorDevice& device);

// Registers both barometric dialogs where the views reach them: the correction runner of the
// data-file views and the barometric channel hook of the channel view and the prompt.
void InstallBarometricDialogs();
