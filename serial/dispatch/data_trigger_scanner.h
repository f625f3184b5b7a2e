// All data triggers of a port as one matcher, so that the cost of scanning a byte does not grow
// with the number of triggers, and every occurrence of every trigger is found, overlapping ones
// included.
//
// Two automata in the manner of Aho and Corasick share the work: one over the bytes as received
// for the triggers that respect case, one over the folded bytes for those that ignore it. The
// folding is the code page's (platform/case_folding.h); the folded automaton follows which
// received byte is a lead byte, so that neither it nor its trail byte is folded. Each automaton
// is a full transition table over classes of bytes (the bytes its triggers use, and one class for
// every other byte), so one byte costs one table step per automaton.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/case_folding.h"
#include "serial/dispatch/triggers.h"

class TDataTriggerScanner {
  public:
    // Builds for the given triggers (their bytes folded already when IgnoreCase) and starts with no
    // partial match. Triggers of length 0 never match.
    void Build(const std::vector<DataTriggerRec>& Triggers, const platform::CaseFolding& Folding);
    // Forgets every partial match (the bytes that were fed are not the ones that come next).
    void Reset();
    // Feeds one received byte; the triggers (indexes into the list Build was given, ascending)
    // whose bytes end with it. Valid until the next call.
    std::span<const uint32_t> Feed(uint8_t C);

  private:
    struct Automaton {
        // Patterns (index, bytes) added before Finish.
        void Add(uint32_t Index, const uint8_t* Bytes, uint32_t Len);
        void Finish();
        uint32_t Step(uint32_t State, uint32_t Class) const {
            return Next[State * Classes + Class];
        }
        bool Empty() const { return Classes == 0; }

        std::array<uint16_t, 256> ClassOf{};  // class of a byte as matched
        uint32_t Classes = 0;                 // 0: no pattern at all
        std::vector<uint32_t> Next;           // state × class
        std::vector<uint32_t> OutStart;       // per state, into Out; one more entry at the end
        std::vector<uint32_t> Out;            // trigger indexes ending in a state, ascending
        // Building only: the trie, each pattern's end state.
        std::vector<std::vector<std::pair<uint8_t, uint32_t>>> Children;
        std::vector<std::vector<uint32_t>> Ends;
    };

    Automaton Exact;
    Automaton Folded;
    // Class in Folded of a received byte read alone (folded first) and read as a trail byte.
    std::array<uint16_t, 256> FoldedClassAlone{};
    std::array<uint16_t, 256> FoldedClassTrail{};
    std::array<bool, 256> Lead{};
    uint32_t ExactState = 0;
    uint32_t FoldedState = 0;
    bool AfterLead = false;
    std::vector<uint32_t> Hits;
};
