// The job list's rows read from the store a page at a time: name, status image and the line of
// details, so that a queue of any length costs only the rows on screen.
#pragma once

#include "app/job_row_details.h"
#include "platform/dialog.h"

#include <functional>

namespace env {
struct Settings;
}
namespace store {
class KeyStore;
}

namespace app {

class JobListSource : public platform::ListRowSource {
public:
    // `settings` must outlive the source; `activity` may be empty (no work going on).
    JobListSource(store::KeyStore& store, const env::Settings& settings,
                  std::function<JobActivity(int position)> activity);

    int CountRows() override;
    // One query for the page, and one per distinct template among its rows.
    void ReadRows(int first, int count, std::vector<platform::ListRow>& rows) override;

private:
    store::KeyStore& m_Store;
    const env::Settings& m_Settings;
    std::function<JobActivity(int position)> m_Activity;
};

} // namespace app
