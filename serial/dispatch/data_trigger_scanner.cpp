// Building and running the data-trigger automata.
#include "serial/dispatch/data_trigger_scanner.h"

#include <algorithm>
#include <deque>

void TDataTriggerScanner::Automaton::Add(uint32_t Index, const uint8_t* Bytes, uint32_t Len) {
    if (Children.empty()) {
        Children.emplace_back();
        Ends.emplace_back();
    }
    uint32_t state = 0;
    for (uint32_t i = 0; i < Len; ++i) {
        auto& kids = Children[state];
        auto it = std::find_if(kids.begin(), kids.end(),
                               [&](const auto& kid) { return kid.first == Bytes[i]; });
        if (it != kids.end()) {
            state = it->second;
            continue;
        }
        auto fresh = static_cast<uint32_t>(Children.size());
        kids.emplace_back(Bytes[i], fresh);
        Children.emplace_back();
        Ends.emplace_back();
        state = fresh;
    }
    Ends[state].push_back(Index);
}

void TDataTriggerScanner::Automaton::Finish() {
    if (Children.empty()) return;
    // Class 0 is every byte no pattern uses.
    ClassOf.fill(0);
    Classes = 1;
    for (const auto& kids : Children)
        for (const auto& [byte, child] : kids)
            if (ClassOf[byte] == 0) ClassOf[byte] = static_cast<uint16_t>(Classes++);

    const auto states = static_cast<uint32_t>(Children.size());
    Next.assign(static_cast<size_t>(states) * Classes, 0);
    std::vector<uint32_t> fail(states, 0);
    std::vector<std::vector<uint32_t>> outs(states);
    // Breadth first: a state's failure state is shallower, so its row and outputs are complete.
    std::deque<uint32_t> queue;
    for (const auto& [byte, child] : Children[0]) {
        Next[ClassOf[byte]] = child;
        queue.push_back(child);
    }
    outs[0] = Ends[0];
    while (!queue.empty()) {
        uint32_t s = queue.front();
        queue.pop_front();
        outs[s] = Ends[s];
        outs[s].insert(outs[s].end(), outs[fail[s]].begin(), outs[fail[s]].end());
        std::sort(outs[s].begin(), outs[s].end());
        for (uint32_t c = 0; c < Classes; ++c) Next[s * Classes + c] = Next[fail[s] * Classes + c];
        for (const auto& [byte, child] : Children[s]) {
            fail[child] = Next[fail[s] * Classes + ClassOf[byte]];
            Next[s * Classes + ClassOf[byte]] = child;
            queue.push_back(child);
        }
    }
    OutStart.assign(states + 1, 0);
    Out.clear();
    for (uint32_t s = 0; s < states; ++s) {
        OutStart[s] = static_cast<uint32_t>(Out.size());
        Out.insert(Out.end(), outs[s].begin(), outs[s].end());
    }
    OutStart[states] = static_cast<uint32_t>(Out.size());
    Children.clear();
    Ends.clear();
}

void TDataTriggerScanner::Build(const std::vector<DataTriggerRec>& Triggers,
                                const platform::CaseFolding& Folding) {
    Exact = Automaton{};
    Folded = Automaton{};
    for (size_t i = 0; i < Triggers.size(); ++i) {
        const auto& t = Triggers[i];
        if (t.Len == 0) continue;
        (t.IgnoreCase ? Folded : Exact).Add(static_cast<uint32_t>(i), t.Data, t.Len);
    }
    Exact.Finish();
    Folded.Finish();
    Lead = Folding.Lead;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<size_t>(b);
        FoldedClassAlone[byte] = Folded.ClassOf[Folding.Upper[byte]];
        FoldedClassTrail[byte] = Folded.ClassOf[byte];
    }
    Reset();
}

void TDataTriggerScanner::Reset() {
    ExactState = 0;
    FoldedState = 0;
    AfterLead = false;
}

std::span<const uint32_t> TDataTriggerScanner::Feed(uint8_t C) {
    std::span<const uint32_t> exact, folded;
    if (!Exact.Empty()) {
        ExactState = Exact.Step(ExactState, Exact.ClassOf[C]);
        exact = std::span(Exact.Out).subspan(
            Exact.OutStart[ExactState],
            Exact.OutStart[ExactState + 1] - Exact.OutStart[ExactState]);
    }
    if (!Folded.Empty()) {
        const uint16_t cls = AfterLead ? FoldedClassTrail[C] : FoldedClassAlone[C];
        AfterLead = !AfterLead && Lead[C];
        FoldedState = Folded.Step(FoldedState, cls);
        folded = std::span(Folded.Out)
                     .subspan(Folded.OutStart[FoldedState],
                              Folded.OutStart[FoldedState + 1] - Folded.OutStart[FoldedState]);
    }
    if (folded.empty()) return exact;
    if (exact.empty()) return folded;
    Hits.clear();
    std::merge(exact.begin(), exact.end(), folded.begin(), folded.end(), std::back_inserter(Hits));
    return Hits;
}
