// `CSettingsDlg`: shows the global settings from the root key and writes them back on OK.
#include "app/settings_dialog.h"

#include "cluster/cluster_settings.h"
#include "env/settings.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/message_boxes.h"
#include "platform/user_folders.h"
#include "store/key_store.h"
#include "store/paths.h"

#include <sys/stat.h>

namespace app {

using namespace platform::settings_dialog;

namespace {

struct FlagControl {
    const char* name;
    int control;
};

constexpr FlagControl kFlags[] = {
    {env::kDeleteMpv, kDeleteMpv},         {env::kAutoBias, kAutoBias},
    {env::kCcePriority, kCcePriority},     {env::kHideCceWindow, kHideCceWindow},
    {env::kEnableLogging, kEnableLogging},
};

} // namespace

std::string OutputFolderProblem(const std::string& folder) {
    if (folder.empty()) {
        return "Choose the folder for the output, or place the output in the same directory as "
               "the assets.";
    }
    const std::string named = "The output folder \"" + folder + "\"";
    if (folder.front() != '/') {
        return named + " is not a full path: it must begin with \"/\".";
    }
    struct stat facts = {};
    if (::stat(folder.c_str(), &facts) != 0) {
        return named + " does not exist.";
    }
    if (!S_ISDIR(facts.st_mode)) {
        return named + " is not a folder.";
    }
    if (!platform::IsWritableFolder(folder)) {
        return named + " cannot be written to: choose a folder you may write in.";
    }
    return std::string();
}

CSettingsDlg::CSettingsDlg(platform::Dialog& dialog, store::KeyStore& store, FolderChooser& chooser,
                           platform::MessageBoxes& boxes)
    : m_Dialog(dialog), m_Store(store), m_Chooser(chooser), m_Boxes(boxes) {}

void CSettingsDlg::OnInitDialog() {
    m_Dialog.SetTitle("Vantaq Settings");
    // Where encodes run has a default ("this machine"), so it shows on a fresh store too.
    cluster::ClusterSettings run = cluster::ReadClusterSettings(m_Store);
    m_Dialog.CheckRadioButton(kRunHere, kRunOnSlurm, run.m_UseSlurm ? kRunOnSlurm : kRunHere);
    m_Dialog.SetText(kSlurmPartition, run.m_Partition);
    m_Dialog.SetText(kSlurmMaxJobs, std::to_string(run.m_MaxJobs));
    m_Dialog.SetText(kSlurmOptions, cluster::JoinArgumentLines(run.m_SbatchOptions));
    EnableClusterFields(run.m_UseSlurm);
    store::Key root = m_Store.OpenKey(store::kHive, store::kRootPath, store::Access::Read);
    if (!root) {
        return;
    }
    uint32_t value = 0;
    for (const FlagControl& flag : kFlags) {
        if (m_Store.ReadNumber(root, "", flag.name, value)) {
            // The box shows the stored number as its check state: anything but 0 is a tick.
            m_Dialog.SetCheck(flag.control, value != 0);
        }
    }
    std::string folder;
    if (m_Store.ReadString(root, "", env::kOutputDirectory, env::kOutputDirectoryDialogCapacity,
                           folder)) {
        m_Dialog.SetText(kOutputDirectory, folder);
    }
    if (m_Store.ReadNumber(root, "", env::kOutputSameDir, value)) {
        // Without a folder the outputs go beside their sources, and the dialog says so.
        if (value == 1 || folder.empty()) {
            m_Dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSameDir);
            EnableOutputFolder(false);
        } else {
            m_Dialog.CheckRadioButton(kOutputSameDir, kOutputSelected, kOutputSelected);
        }
    }
    m_Store.CloseKey(root);
}

void CSettingsDlg::EnableClusterFields(bool enabled) {
    for (int id : {kSlurmPartition, kSlurmMaxJobs, kSlurmOptions}) {
        m_Dialog.Enable(id, enabled);
        m_Dialog.SetToolTip(id, enabled ? std::string()
                                        : "(Used when \"Run encodes on a Slurm cluster\" is "
                                          "chosen.)");
    }
}

void CSettingsDlg::EnableOutputFolder(bool enabled) {
    for (int id : {kOutputDirectory, kBrowse}) {
        m_Dialog.Enable(id, enabled);
        m_Dialog.SetToolTip(id, enabled ? std::string()
                                        : "(The output goes beside its sources: choose \"Place "
                                          "output in the directory selected below\" for a "
                                          "folder.)");
    }
}

void CSettingsDlg::OnRunHere() {
    if (m_Dialog.IsChecked(kRunHere)) {
        EnableClusterFields(false);
    }
}

void CSettingsDlg::OnRunOnSlurm() {
    if (m_Dialog.IsChecked(kRunOnSlurm)) {
        EnableClusterFields(true);
    }
}

void CSettingsDlg::OnOutputSameDir() {
    if (m_Dialog.IsChecked(kOutputSameDir)) {
        EnableOutputFolder(false);
    }
}

void CSettingsDlg::OnOutputSelected() {
    if (m_Dialog.IsChecked(kOutputSelected)) {
        EnableOutputFolder(true);
    }
}

void CSettingsDlg::OnBrowse() {
    std::string folder;
    if (m_Chooser.ChooseFolder("Select the output directory:", folder)) {
        m_Dialog.SetText(kOutputDirectory, folder);
    }
}

bool CSettingsDlg::OnOK() {
    // Every encode would fail on a folder it cannot write in: that is said now, not per job.
    if (m_Dialog.IsChecked(kOutputSelected)) {
        std::string problem = OutputFolderProblem(m_Dialog.GetText(kOutputDirectory));
        if (!problem.empty()) {
            m_Boxes.ShowError(problem, "Vantaq Settings", platform::MessageBoxButtons::Ok);
            return false;
        }
    }
    // Created when missing, so that the first OK on a fresh store is not lost.
    store::Key root = m_Store.CreateKey(store::kHive, store::kRootPath);
    if (!root) {
        return true;
    }
    auto flag = [this](int control) -> uint32_t { return m_Dialog.IsChecked(control) ? 1 : 0; };
    store::KeyStore::Transaction unit(m_Store);
    m_Store.WriteNumber(root, "", env::kDeleteMpv, flag(kDeleteMpv));
    m_Store.WriteNumber(root, "", env::kAutoBias, flag(kAutoBias));
    m_Store.WriteNumber(root, "", env::kOutputSameDir, flag(kOutputSameDir));
    m_Store.WriteNumber(root, "", env::kCcePriority, flag(kCcePriority));
    m_Store.WriteNumber(root, "", env::kHideCceWindow, flag(kHideCceWindow));
    m_Store.WriteNumber(root, "", env::kEnableLogging, flag(kEnableLogging));
    std::string folder = m_Dialog.GetText(kOutputDirectory);
    if (folder.size() >= env::kOutputDirectoryDialogCapacity) {
        folder.resize(env::kOutputDirectoryDialogCapacity - 1);
    }
    m_Store.WriteString(root, "", env::kOutputDirectory, folder);
    cluster::ClusterSettings run;
    run.m_UseSlurm = m_Dialog.IsChecked(kRunOnSlurm);
    std::vector<std::string> partition =
        cluster::SplitArgumentLines(m_Dialog.GetText(kSlurmPartition));
    run.m_Partition = partition.empty() ? std::string() : partition.front();
    // A number that is no number keeps the one stored.
    run.m_MaxJobs = cluster::ParseMaxJobs(m_Dialog.GetText(kSlurmMaxJobs),
                                          cluster::ReadClusterSettings(m_Store).m_MaxJobs);
    run.m_SbatchOptions = cluster::SplitArgumentLines(m_Dialog.GetText(kSlurmOptions));
    cluster::WriteClusterSettings(m_Store, run);
    unit.Commit();
    m_Store.CloseKey(root);
    return true;
}

} // namespace app
