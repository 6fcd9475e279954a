// The configuration of the simulated ASPI layer, read from scenario text: host adapters,
// how requests complete, and the devices with their faults. Format: sim/README.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SimDevice.h"

class SimScenario {
public:
    enum {
        kMaxAdapters = 16,
        kMaxTargets = 16,
        kMaxTextLength = 1 << 20,
        kMaxLineLength = 4096,
        kMaxDelayMs = 86400000, // one day: longer than any time-out of the library
        kMaxCount = 1000000,
    };

    SimScenario();

    // Replaces the whole content with the scenario in text. True on success; false with the
    // reason, naming the line, in error (what was read up to that line stays and is not
    // to be used).
    bool Parse(const char* text);

    SimDevice* FindDevice(int adapterId, int targetId);
    const SimDevice* FindDevice(int adapterId, int targetId) const;
    // The GetASPI32SupportInfo word: status in bits 15-8, adapter count in bits 7-0.
    uint32_t SupportInfo() const;

    uint8_t adapterCount;
    uint8_t supportStatus;
    uint8_t supportStatusSet;
    uint8_t syncCompletion;
    uint8_t refuseAll;
    uint8_t dataOutAtCompletion;
    std::vector<SimDevice> devices;
    std::string error;

private:
    bool ParseLine(const std::vector<std::string>& tokens);
    bool ParseAdapters(const std::vector<std::string>& tokens);
    bool ParseDevice(const std::vector<std::string>& tokens);
    bool ParseRvxOptions(const std::vector<std::string>& tokens, SimDevice& device);
    bool ParseFault(const std::vector<std::string>& tokens);
    // The actions after the command, from tokens[4]: each action word with its values.
    bool ParseFaultActions(const std::vector<std::string>& tokens, SimFaultRule& rule);
    // The steps of ParseFaultActions. Each reads the values of the action word just read
    // from tokens[i] on and moves i past them; a word that is not its own leaves result
    // or timing at none.
    bool ParseFaultResult(const std::string& action, const std::vector<std::string>& tokens,
                          size_t& i, SimFaultRule& rule, uint8_t& result);
    bool ParseSenseWithGood(const std::vector<std::string>& tokens, size_t& i, SimFaultRule& rule,
                            uint8_t& result);
    bool ParseFaultTiming(const std::string& action, const std::vector<std::string>& tokens,
                          size_t& i, SimFaultRule& rule, uint8_t& timing);
    bool ParseFaultCount(const std::vector<std::string>& tokens, size_t& i, SimFaultRule& rule);
    // Takes one action's result and timing into the rule, which holds one of each.
    bool StoreFaultAction(uint8_t result, uint8_t timing, SimFaultRule& rule);
    // The combinations of actions that no request can show.
    bool CheckFaultRule(const SimFaultRule& rule);
    bool ParseAddress(const std::vector<std::string>& tokens, int& adapterId, int& targetId);
    bool CheckAdapters();
    bool Fail(const std::string& message);

    int lineNumber;
    int adaptersLine;
};
