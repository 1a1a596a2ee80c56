// The runner's settings window: the encoder program and the priority, saved into its profile.
#pragma once

#include "env/user_files.h"

#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace eclcce {

// Shows the profile's CCE and Priority keys for editing. Save writes both into the profile's
// `writePath` (the encoder path made absolute, Priority "64" for idle or "-1" for the default;
// the user's own copy where the program folder is not writable) and closes the window with
// Accepted; a failed write is shown in the window, which stays open. Cancel, Escape and the
// close box write nothing. Child widgets carry object names for tests: "encoder", "browse",
// "priority", "note", "save", "cancel"; Browse opens a file dialog named "browseDialog".
class SettingsWindow : public QDialog {
public:
    explicit SettingsWindow(env::RunnerProfile profile, QWidget* parent = nullptr);

private:
    void UpdateNote();
    void Browse();
    void Save();

    env::RunnerProfile m_Profile;
    QLineEdit* m_Encoder = nullptr;
    QComboBox* m_Priority = nullptr;
    QLabel* m_Note = nullptr;
};

// Runs the window as the program's only window. Returns the exit status: 0.
int RunSettingsWindow(int argc, char** argv, const env::RunnerProfile& profile);

} // namespace eclcce
