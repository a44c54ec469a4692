#include "core/operations/transport.h"

namespace ostrelle {

void Transport::LoadFileSegments(const QString& path, int row) {
    Window& w = window_;
    repeat_.StopRepeatRun({.captions = RunEnding::Captions::ButtonAndMenu});
    state_.currentAudioPath = path;
    editor_.ReloadSegments(path);

    if (state_.hasAB && !state_.abList.empty()) {
        EnablePair(w.aeroButton1[2], w.idmPlayReread, true);
        EnablePair(w.aeroButton1[7], w.idmNext, false);
        EnablePair(w.aeroButton1[8], w.idmPre, false);
        EnablePair(w.aeroButton4[0], w.idmDeleteCurrentAB, true);
        EnablePair(w.aeroButton4[1], w.idmDeleteAB, true);
        const QString length = w.grid1.CellText(row, 3);
        const ABPair& first = state_.abList.front();
        display_.ShowABMarks(first.aText, first.bText, length);
        state_.lengthText = length;
        state_.aPoint = first.aText;
        state_.bPoint = first.bText;
        state_.abIndex = 0;
        if (state_.abList.size() > 1) EnablePair(w.aeroButton1[7], w.idmNext, true);
        w.label7[0].caption = QStringLiteral("1");
        w.label7[1].caption = QString::number(state_.abList.size());
        w.label7[2].caption = first.aText + QStringLiteral(" -- ") + first.bText;
        return;
    }
    for (int i = 0; i < 2; ++i)
        w.image1[i].visible = w.picture2[i].visible = false;
    EnablePair(w.aeroButton4[0], w.idmDeleteCurrentAB, false);
    EnablePair(w.aeroButton4[1], w.idmDeleteAB, false);
    EnablePair(w.aeroButton1[8], w.idmPre, false);
    EnablePair(w.aeroButton1[7], w.idmNext, false);
    w.label7[0].caption.clear();
    w.label7[1].caption.clear();
    w.label7[2].caption = QStringLiteral(" -- ");
}

void Transport::Timer4_Timer() {
    window_.timer4.enabled = false;
    const QString path = window_.grid1.CellText(1, 4);
    if (path.isEmpty()) return;
    state_.currentAudioPath = path;
    if (loadCompanionText_) loadCompanionText_(path);
    player_.SetUrl(path);
    LoadFileSegments(path, 1);
}

}  // namespace ostrelle
