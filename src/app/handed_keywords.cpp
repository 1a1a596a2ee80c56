// `CMainWindow`: acting on the keywords a second start on the same store handed over.
#include "app/main_window.h"

#include "log/log.h"

namespace app {

void CMainWindow::OnHandedKeywords(const std::string& workingDir,
                                   const std::vector<std::string>& arguments) {
    // The window's own keywords come first.
    OnStartupTimer();
    CommandLineOptions handed;
    handed.ParseArguments(arguments);
    bool acted = false;
    if (handed.Has(kKeyClear)) {
        acted = true;
        if (Processing()) {
            m_Log.Write("WARNING: The Job List is not cleared while a run is in progress.",
                        logging::kLogWarning);
        } else {
            ClearByKeyword();
        }
    }
    acted = acted || handed.Has(kKeySource);
    // The keywords after "source" wait until the list is through.
    auto rest = [this, handed, acted]() mutable {
        for (const char* key : {kKeyExit, kKeyDeleteMpv}) {
            if (handed.Has(key)) {
                acted = true;
                m_CommandLine.Add(key, handed.Value(key));
            }
        }
        if (handed.Has(kKeyStart)) {
            acted = true;
            if (!Processing()) {
                OnStartProcessing();
            }
        }
        if (handed.Has(kKeyMinimize)) {
            acted = true;
            if (!m_InTray) {
                OnMinimize();
            }
        }
        if (!acted) {
            if (m_InTray) {
                RestoreFromTray();
            } else {
                m_Host.ShowWindow(true);
            }
        }
    };
    if (handed.Has(kKeySource)) {
        std::string path = handed.Value(kKeySource);
        if (!path.empty() && path[0] != '/' && !workingDir.empty()) {
            path = workingDir + "/" + path;
        }
        m_Log.Write("Processing source file: " + path, logging::kLogInfo);
        OnLoadFileList(path, [rest]() mutable { rest(); });
        return;
    }
    rest();
}

} // namespace app
