#pragma once
// Keeps a host's plugin going when its bridge dies or hangs. It remembers how
// the bridge is started, what plugin it loads and how the plugin is switched
// on, and holds the last state the host fetched with the block it belongs to.
// Recover then ends what is left of the old bridge (its channel is freed),
// starts a new one on a new channel, loads the same plugin, restores that
// state, switches the plugin on again and reports what was lost: the blocks
// processed since that state. [Windows builds only]

#include "BridgeHost.h"
#include "BridgeLayouts.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TBridgeRecovery {
public:
    struct TReport {
        std::string Reason;           // what happened to the old bridge
        std::uint64_t FailedBlock = 0; // the block that did not come back
        bool StateRestored = false;   // a fetched state was loaded into the new plugin
        std::uint64_t StateBlock = 0; // the block count the restored state belongs to
        std::uint64_t BlocksLost = 0; // FailedBlock - StateBlock (all blocks without a state)
        std::size_t StateBytes = 0;
        double Milliseconds = 0;      // from the failure to the plugin switched on again
    };

    // load is copied as it stands; switchOn is the data of the switch-on
    // command (a transport header), empty to leave the plugin off.
    TBridgeRecovery(std::wstring bridge, TBridgeHost::TOptions options, const TLoadBlock& load,
                    DWORD loadTimeoutMs = 60000);

    void SetSwitchOn(std::vector<std::uint8_t> switchOn) { switchOn_ = std::move(switchOn); }

    // Starts a bridge on a new channel and loads the plugin. Throws when the
    // bridge does not start, does not connect or does not load the plugin.
    std::unique_ptr<TBridgeHost> Start();

    // Saves and fetches the plugin's state through host and keeps it as the
    // state of block; false (and the previous state kept) when the bridge did
    // not answer.
    bool FetchState(TBridgeHost& host, std::uint64_t block);
    // Keeps a state the host obtained otherwise (for instance loaded from a file).
    void RememberState(std::vector<std::uint8_t> state, std::uint64_t block);
    bool HasState() const { return hasState_; }
    const std::vector<std::uint8_t>& State() const { return state_; }

    // Ends the old bridge (killed when it still runs: it is broken or hung)
    // and frees its channel, then starts the new one as above, restores the
    // kept state and switches the plugin on. host holds the new bridge
    // afterwards. Throws when the new bridge cannot be brought up.
    TReport Recover(std::unique_ptr<TBridgeHost>& host, std::uint64_t failedBlock);

    // Why a bridge failed, as far as its host can see.
    static std::string FailureOf(TBridgeHost& host);

    int Recoveries() const { return recoveries_; }

private:
    const std::wstring bridge_;
    const TBridgeHost::TOptions options_;
    std::vector<std::uint8_t> load_; // a TLoadBlock
    const DWORD loadTimeoutMs_;
    std::vector<std::uint8_t> switchOn_;
    std::vector<std::uint8_t> state_;
    std::uint64_t stateBlock_ = 0;
    bool hasState_ = false;
    int recoveries_ = 0;
};
