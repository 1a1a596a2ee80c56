// A second process for the job store tests: writes a seeded run of queue operations, or bumps a
// shared counter, until it is done or killed.
#include "jobs/job_store.h"
#include "store/key_store.h"
#include "torture_ops.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

jobs::JobRecord RecordFor(const std::string& name) {
    jobs::JobRecord r;
    r.name = name;
    r.input = "/videos/" + name + ".avi";
    r.templateKey = "1";
    r.method = 1;
    r.aspectRatio = 2;
    r.bitrateMin = 1000;
    r.bitrateMax = 8000;
    r.bitrateAvg = 4000;
    r.qFactor = 50;
    r.bias = 20;
    r.passes = 3;
    r.quality = 16;
    r.endFrame = 999;
    r.chapters = "0,100,200," + name;
    return r;
}

int Torture(store::KeyStore& store, uint32_t seed, int steps) {
    int count = static_cast<int>(jobs::ReadJobNames(store).size());
    torture::OpSource source(seed);
    // Tell the parent that the start length is read and the writes begin.
    std::puts("ready");
    std::fflush(stdout);
    for (int i = 0; steps < 0 || i < steps; ++i) {
        torture::Op op = source.Next(count);
        switch (op.kind) {
        case torture::OpKind::Add:
            if (!jobs::WriteJobRecord(store, count, RecordFor(op.name))) {
                std::fprintf(stderr, "add failed: %s\n", store.LastError().c_str());
                return 1;
            }
            ++count;
            break;
        case torture::OpKind::Swap:
            jobs::SwapJobs(store, op.a, op.b);
            break;
        case torture::OpKind::Delete:
            jobs::DeleteJobAt(store, op.a, count);
            --count;
            break;
        }
    }
    return 0;
}

int Count(store::KeyStore& store, int times) {
    for (int i = 0; i < times; ++i) {
        store::KeyStore::Transaction unit(store);
        uint32_t n = 0;
        store.ReadNumber(store::kHive, "Software\\Test", "Counter", n);
        if (!unit.Ok() || !store.WriteNumber(store::kHive, "Software\\Test", "Counter", n + 1) ||
            !unit.Commit()) {
            std::fprintf(stderr, "count failed: %s\n", store.LastError().c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s torture STORE SEED [STEPS] | count STORE TIMES\n", argv[0]);
        return 2;
    }
    store::KeyStore store;
    if (!store.Open(argv[2])) {
        std::fprintf(stderr, "open failed: %s\n", store.LastError().c_str());
        return 1;
    }
    if (std::strcmp(argv[1], "torture") == 0) {
        int steps = argc > 4 ? std::atoi(argv[4]) : -1;
        return Torture(store, static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)), steps);
    }
    return Count(store, std::atoi(argv[3]));
}
