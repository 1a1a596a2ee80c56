// `CSettingsDlg`: the settings dialog's logic over its controls and the key store.
#pragma once

#include <string>

namespace platform {
class Dialog;
class MessageBoxes;
} // namespace platform
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

// What is wrong with `folder` as the folder for every output: "" when it is a full path to an
// existing folder this user may write in, else a sentence that says why not.
std::string OutputFolderProblem(const std::string& folder);

// The dialog's handlers. `dialog` holds the controls of SettingsDialogControls(); all calls on
// the UI thread; the references must outlive this object.
class CSettingsDlg {
public:
    CSettingsDlg(platform::Dialog& dialog, store::KeyStore& store, FolderChooser& chooser,
                 platform::MessageBoxes& boxes);

    // Sets the title and shows the stored values; a value that cannot be read leaves its
    // control as created (both radios clear when "OutputSameDir" is missing). Outputs that go
    // beside their sources for want of a folder show as such.
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
    // OK: with the outputs going to the chosen folder, a folder that is missing, not a full
    // path, or not writable is refused with a message box saying why, and false (the dialog
    // stays open, nothing written). Otherwise writes every control's value to the root key and
    // returns true: the dialog ends with OK even when nothing could be written (the reload
    // that follows reports what is missing).
    bool OnOK();
    // Cancel: nothing is written. Returns false (the dialog ends with Cancel).
    bool OnCancel() { return false; }

private:
    // Each one off says in its hint which choice turns it on.
    void EnableClusterFields(bool enabled);
    void EnableOutputFolder(bool enabled);

    platform::Dialog& m_Dialog;
    store::KeyStore& m_Store;
    FolderChooser& m_Chooser;
    platform::MessageBoxes& m_Boxes;
};

} // namespace app
