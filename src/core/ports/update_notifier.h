#pragma once

#include <functional>
#include <utility>

namespace ostrelle {

// The part of a port whose work goes on in the background: one handler, told that its state has changed.
// When it runs is part of each port's contract.
class UpdateNotifier {
public:
    void SetUpdateHandler(std::function<void()> handler) { update_ = std::move(handler); }

protected:
    ~UpdateNotifier() = default;

    void RaiseUpdate() {
        if (update_) update_();
    }

private:
    std::function<void()> update_;
};

}  // namespace ostrelle
