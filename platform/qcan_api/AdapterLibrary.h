#pragma once

// The library's state behind the C exports: library contexts, device lists, open adapters and the
// per-name dummy state. Contexts, lists and adapter handles are opaque tokens that are never
// reused, so a stale one is recognised and ignored instead of reaching freed memory.
// Lock order: the library lock, then an adapter's locks, then a dummy state's lock. No lock is held
// while an adapter is closed (its threads joined) or while a callback runs.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Adapter.h"
#include "AdapterConfig.h"
#include "DummyAdapter.h"
#include "DummyState.h"

class AdapterLibrary {
public:
    static AdapterLibrary& instance();

    void* initialize();
    void uninitialize(void* ctx);  // closes every adapter still open on the context
    int buildString(void* ctx, char* buf, int size);

    void* createDeviceList(void* ctx);
    int deviceCount(void* list);
    int interfaceName(void* list, int index, char* buf, int size);
    int interfaceDescription(void* list, int index, char* buf, int size);
    void destroyDeviceList(void* list);

    void* openAdapter(void* ctx, const std::string& name, const AdapterCallbacks& callbacks);
    std::shared_ptr<Adapter> adapter(void* handle);  // null for a stale or unknown handle
    void closeAdapter(void* handle);
    void closeAll();

    // Control of dummy adapters.
    void reset();
    void setLibraryFaults(bool refuseInitialize, bool failDeviceList);
    void setBuildString(const char* text);
    std::shared_ptr<DummyState> dummyState(const std::string& name);  // created on first mention
    std::shared_ptr<DummyAdapter> openDummy(const std::string& name);  // null when not open

private:
    struct OpenAdapter {
        uintptr_t ctx;
        std::shared_ptr<Adapter> adapter;
    };

    AdapterLibrary() = default;
    uintptr_t newToken();
    std::shared_ptr<DummyState> dummyStateLocked(const std::string& name);
    void noteConfiguredDummies(const std::vector<AdapterEntry>& entries);
    // Removes the adapters chosen by the predicate from the registry, then closes them unlocked.
    template <class Pred>
    void closeWhere(Pred pred);

    std::mutex mutex_;
    uintptr_t nextToken_ = 0x5100;
    std::map<uintptr_t, bool> contexts_;
    std::map<uintptr_t, std::vector<AdapterEntry>> lists_;
    std::map<uintptr_t, OpenAdapter> open_;
    std::map<std::string, int> busyNames_;  // open, or closing until its threads are joined
    std::map<std::string, std::shared_ptr<DummyState>> dummies_;
    bool refuseInitialize_ = false;
    bool failDeviceList_ = false;
    bool buildOverridden_ = false;
    std::string buildOverride_;
};
