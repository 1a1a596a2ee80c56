// Job list files read a slice at a time from the event loop, one after another, so that the
// window answers while a long list is read.
#pragma once

#include "run/cce_data_import.h"

#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace gui {

class SlicedImports : public QObject {
public:
    using Factory = std::function<std::unique_ptr<run::CceDataImport>(const std::string& path)>;
    // A slice's time budget: the window's events wait at most this long.
    static constexpr int kSliceMs = 40;

    explicit SlicedImports(Factory factory, QObject* parent = nullptr)
        : QObject(parent), m_Factory(std::move(factory)) {}
    ~SlicedImports() override;

    // Reads the list at `path` after those asked for before it; `done` runs when it is through.
    void Add(const std::string& path, std::function<void()> done);
    bool Busy() const { return m_Current != nullptr || !m_Waiting.empty(); }

private:
    void StartNext();
    void Slice();

    struct Request {
        std::string path;
        std::function<void()> done;
    };
    Factory m_Factory;
    std::deque<Request> m_Waiting;
    std::unique_ptr<run::CceDataImport> m_Current;
    std::function<void()> m_CurrentDone;
};

} // namespace gui
