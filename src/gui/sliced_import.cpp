// Job list files read in slices between the window's events.
#include "gui/sliced_import.h"

#include "run/cce_data_import.h"

#include <QElapsedTimer>
#include <QTimer>

namespace gui {

SlicedImports::~SlicedImports() = default;

void SlicedImports::Add(const std::string& path, std::function<void()> done) {
    m_Waiting.push_back(Request{path, std::move(done)});
    if (m_Current == nullptr && m_Waiting.size() == 1) {
        StartNext();
    }
}

void SlicedImports::StartNext() {
    while (m_Current == nullptr && !m_Waiting.empty()) {
        Request request = std::move(m_Waiting.front());
        m_Waiting.pop_front();
        std::unique_ptr<run::CceDataImport> import = m_Factory(request.path);
        if (!import->Begin()) {
            if (request.done) {
                request.done();
            }
            continue;
        }
        m_Current = std::move(import);
        m_CurrentDone = std::move(request.done);
        QTimer::singleShot(0, this, [this] { Slice(); });
    }
}

void SlicedImports::Slice() {
    if (m_Current == nullptr) {
        return;
    }
    QElapsedTimer clock;
    clock.start();
    if (m_Current->Step([&clock] { return clock.elapsed(); }, kSliceMs)) {
        // The window's own events come first, then the next slice.
        QTimer::singleShot(0, this, [this] { Slice(); });
        return;
    }
    m_Current->End();
    m_Current.reset();
    std::function<void()> done = std::move(m_CurrentDone);
    if (done) {
        done();
    }
    StartNext();
}

} // namespace gui
