// `CSettingsDlg`: the settings dialog's logic over its controls and the key store.
#pragma once

#include <string>

namespace platform {
class Dialog;
}
namespace store {
class KeyStore;
}

namespace app {

// Chooses a folder; the window side implements it with the platform's folder dialog.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    // Offers file-system folders only, under `title`. True with the chosen folder's full path
    // in `folder` on OK; false on Cancel, leaving `folder` alone.
    virtual bool ChooseFolder(const std::string& title, std::string& folder) = 0;
};

// The dialog's handlers. `dialog` holds the controls of SettingsDialogControls(); all calls on
// the UI thread; the three references must outlive this object.
class CSettingsDlg {
public:
    CSettingsDlg(platform::Dialog& dialog, store::KeyStore& store, FolderChooser& chooser);

    // Sets the title and shows the stored values; a value that cannot be read leaves its
    // control as created (both radios clear when "OutputSameDir" is missing).
    void OnInitDialog();
    // Radio 1066 clicked: when set, the output folder and Browse are disabled.
    void OnOutputSameDir();
    // Radio 1067 clicked: when set, the output folder and Browse are enabled.
    void OnOutputSelected();
    // The "Run encodes" radios: the cluster's fields are enabled only with the cluster chosen.
    void OnRunHere();
    void OnRunOnSlurm();
    // Browse (1058): a chosen folder replaces the output folder's text.
    void OnBrowse();
    // OK: writes every control's value to the root key. Returns true: the dialog ends with OK
    // even when nothing could be written (the reload that follows reports what is missing).
    bool OnOK();
    // Cancel: nothing is written. Returns false (the dialog ends with Cancel).
    bool OnCancel() { return false; }

private:
    void EnableClusterFields(bool enabled);

    platform::Dialog& m_Dialog;
    store::KeyStore& m_Store;
    FolderChooser& m_Chooser;
};

} // namespace app
