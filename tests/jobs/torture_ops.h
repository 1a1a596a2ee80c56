// A seeded sequence of queue operations, shared by the writer process and the test that checks
// what a killed writer left behind.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace torture {

enum class OpKind { Add, Swap, Delete };

struct Op {
    OpKind kind;
    int a = 0;
    int b = 0;
    std::string name; // Add only
};

// Chooses the next operation from the seeded generator and the current queue length only, so a
// replay from the same start length yields the same sequence.
class OpSource {
public:
    OpSource(uint32_t seed) : m_Seed(seed), m_Random(seed) {}

    Op Next(int count) {
        Op op;
        uint32_t roll = m_Random() % 100;
        if (count < 2 || (count < 60 && roll < 40)) {
            op.kind = OpKind::Add;
            op.name = "job-" + std::to_string(m_Seed) + "-" + std::to_string(m_Serial++);
        } else if (roll < 75) {
            op.kind = OpKind::Swap;
            op.a = static_cast<int>(m_Random() % count);
            op.b = static_cast<int>(m_Random() % count);
        } else {
            op.kind = OpKind::Delete;
            op.a = static_cast<int>(m_Random() % count);
        }
        return op;
    }

private:
    uint32_t m_Seed;
    std::mt19937 m_Random;
    int m_Serial = 0;
};

// The expected queue of names after an operation.
inline void Apply(const Op& op, std::vector<std::string>& names) {
    switch (op.kind) {
    case OpKind::Add:
        names.push_back(op.name);
        break;
    case OpKind::Swap:
        std::swap(names[op.a], names[op.b]);
        break;
    case OpKind::Delete:
        names.erase(names.begin() + op.a);
        break;
    }
}

} // namespace torture
