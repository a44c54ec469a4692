#pragma once

#include <vector>

namespace ostrelle {

// Where a Word reader stands among nested fields, told their begin, separator and end marks in order: in
// some field's code, which is not shown, or else in results or plain text. Unmatched marks are ignored.
class FieldNesting {
public:
    void Begin();
    void Separate();
    void End();
    bool InCode() const { return inCode_ > 0 || deepFields_ > 0; }

private:
    static constexpr int kMaxDepth = 1000;

    std::vector<bool> fields_;  // per open field: true once its result has begun
    int inCode_ = 0;            // open fields still in their code
    int deepFields_ = 0;        // fields nested past kMaxDepth
};

}  // namespace ostrelle
