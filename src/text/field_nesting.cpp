#include "text/field_nesting.h"

namespace ostrelle {

void FieldNesting::Begin() {
    if (fields_.size() < kMaxDepth) {
        fields_.push_back(false);
        ++inCode_;
    } else {
        ++deepFields_;
    }
}

void FieldNesting::Separate() {
    if (deepFields_ == 0 && !fields_.empty() && !fields_.back()) {
        fields_.back() = true;
        --inCode_;
    }
}

void FieldNesting::End() {
    if (deepFields_ > 0) {
        --deepFields_;
    } else if (!fields_.empty()) {
        if (!fields_.back()) --inCode_;
        fields_.pop_back();
    }
}

}  // namespace ostrelle
