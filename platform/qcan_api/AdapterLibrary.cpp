#include "AdapterLibrary.h"

#include <atomic>
#include <mutex>

#include <algorithm>
#include <cstring>

#include "ScenarioRegistry.h"
#include "SimAdapter.h"
#include "SocketCanAdapter.h"

namespace {

const char* const kBuildText = "QCAN_API 1.0 Linux (dummy, simulated and SocketCAN adapters)";

// Copies text into a caller's buffer, cut to fit and always terminated; the length copied.
int copyOut(const std::string& text, char* buf, int size)
{
    if (!buf || size < 2 || text.empty())
        return 0;
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

uintptr_t token(void* p)
{
    return reinterpret_cast<uintptr_t>(p);
}

// Adapters still open when the library is unloaded (or the process ends) are closed first, so
// that none of their threads runs on in unmapped code.
// The library object, made on first use; a library that was loaded and never used makes none.
std::atomic<AdapterLibrary*> createdLibrary{nullptr};
std::mutex creationMutex;

struct CloseOnUnload {
    ~CloseOnUnload()
    {
        // Nothing calls in any more while the library is unloaded: close what is open and free
        // the object, so that no thread runs on in unmapped code and nothing is left behind.
        if (AdapterLibrary* library = createdLibrary.exchange(nullptr)) {
            library->closeAll();
            delete library;
        }
    }
} closeOnUnload;

}  // namespace

AdapterLibrary& AdapterLibrary::instance()
{
    if (AdapterLibrary* library = createdLibrary.load())
        return *library;
    std::lock_guard<std::mutex> guard(creationMutex);
    AdapterLibrary* library = createdLibrary.load();
    if (!library) {
        library = new AdapterLibrary();
        createdLibrary = library;
    }
    return *library;
}

uintptr_t AdapterLibrary::newToken()
{
    nextToken_ += 0x10;
    return nextToken_;
}

std::shared_ptr<DummyState> AdapterLibrary::dummyStateLocked(const std::string& name)
{
    std::shared_ptr<DummyState>& s = dummies_[name];
    if (!s)
        s = std::make_shared<DummyState>();
    return s;
}

void AdapterLibrary::noteConfiguredDummies(const std::vector<AdapterEntry>& entries)
{
    for (const AdapterEntry& e : entries) {
        if (e.kind == AdapterKind::Dummy)
            dummyStateLocked(e.name);
    }
}

void* AdapterLibrary::initialize()
{
    const std::vector<AdapterEntry> entries = loadAdapterConfig();
    std::lock_guard<std::mutex> lock(mutex_);
    noteConfiguredDummies(entries);
    if (refuseInitialize_)
        return nullptr;
    const uintptr_t ctx = newToken();
    contexts_[ctx] = true;
    return reinterpret_cast<void*>(ctx);
}

void AdapterLibrary::uninitialize(void* ctx)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (contexts_.erase(token(ctx)) == 0)
            return;
    }
    closeWhere([ctx](const OpenAdapter& a) { return a.ctx == token(ctx); });
}

int AdapterLibrary::buildString(void* ctx, char* buf, int size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!contexts_.count(token(ctx)))
        return 0;
    return copyOut(buildOverridden_ ? buildOverride_ : std::string(kBuildText), buf, size);
}

void* AdapterLibrary::createDeviceList(void* ctx)
{
    std::vector<AdapterEntry> entries = loadAdapterConfig();
    std::lock_guard<std::mutex> lock(mutex_);
    noteConfiguredDummies(entries);
    if (failDeviceList_ || !contexts_.count(token(ctx)))
        return nullptr;
    const uintptr_t list = newToken();
    lists_[list] = std::move(entries);
    return reinterpret_cast<void*>(list);
}

int AdapterLibrary::deviceCount(void* list)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = lists_.find(token(list));
    return it == lists_.end() ? 0 : static_cast<int>(it->second.size());
}

int AdapterLibrary::interfaceName(void* list, int index, char* buf, int size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = lists_.find(token(list));
    if (it == lists_.end() || index < 0 || static_cast<size_t>(index) >= it->second.size())
        return 0;
    return copyOut(it->second[static_cast<size_t>(index)].name, buf, size);
}

int AdapterLibrary::interfaceDescription(void* list, int index, char* buf, int size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = lists_.find(token(list));
    if (it == lists_.end() || index < 0 || static_cast<size_t>(index) >= it->second.size())
        return 0;
    return copyOut(it->second[static_cast<size_t>(index)].description, buf, size);
}

void AdapterLibrary::destroyDeviceList(void* list)
{
    std::lock_guard<std::mutex> lock(mutex_);
    lists_.erase(token(list));
}

void* AdapterLibrary::openAdapter(void* ctx, const std::string& name, const AdapterCallbacks& callbacks)
{
    AdapterEntry entry;
    const bool configured = findAdapterEntry(name, entry);
    std::shared_ptr<Adapter> adapter;
    std::shared_ptr<DummyState> state;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!configured || !contexts_.count(token(ctx)) || busyNames_.count(name))
            return nullptr;
        if (entry.kind == AdapterKind::Dummy) {
            state = dummyStateLocked(name);
            if (state->config().refuseOpen)
                return nullptr;
            adapter = std::make_shared<DummyAdapter>(name, callbacks, state);
        } else if (entry.kind == AdapterKind::Sim) {
            std::unique_ptr<Scenario> scenario = createScenario(entry.arg);
            if (!scenario)
                return nullptr;
            adapter = std::make_shared<SimAdapter>(name, callbacks, std::move(scenario));
        } else {
            adapter = std::make_shared<SocketCanAdapter>(name, callbacks, entry.arg);
        }
        busyNames_[name] = 1;  // claimed while opening, so a second open of the name fails
    }
    const bool started = adapter->start();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started) {
        busyNames_.erase(name);
        return nullptr;
    }
    if (state)
        state->countOpen();
    const uintptr_t handle = newToken();
    open_[handle] = OpenAdapter{token(ctx), adapter};
    return reinterpret_cast<void*>(handle);
}

std::shared_ptr<Adapter> AdapterLibrary::adapter(void* handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = open_.find(token(handle));
    return it == open_.end() ? nullptr : it->second.adapter;
}

template <class Pred>
void AdapterLibrary::closeWhere(Pred pred)
{
    std::vector<std::shared_ptr<Adapter>> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = open_.begin(); it != open_.end();) {
            if (pred(it->second)) {
                closing.push_back(it->second.adapter);
                it = open_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const std::shared_ptr<Adapter>& a : closing) {
        a->close();
        std::lock_guard<std::mutex> lock(mutex_);
        busyNames_.erase(a->name());
    }
}

void AdapterLibrary::closeAdapter(void* handle)
{
    std::shared_ptr<Adapter> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = open_.find(token(handle));
        if (it == open_.end())
            return;  // stale: closed before
        closing = it->second.adapter;
        open_.erase(it);
    }
    closing->close();
    std::lock_guard<std::mutex> lock(mutex_);
    busyNames_.erase(closing->name());
}

void AdapterLibrary::closeAll()
{
    closeWhere([](const OpenAdapter&) { return true; });
}

void AdapterLibrary::reset()
{
    closeWhere([](const OpenAdapter& a) { return std::dynamic_pointer_cast<DummyAdapter>(a.adapter) != nullptr; });
    std::lock_guard<std::mutex> lock(mutex_);
    dummies_.clear();
    refuseInitialize_ = false;
    failDeviceList_ = false;
    buildOverridden_ = false;
    buildOverride_.clear();
}

void AdapterLibrary::setLibraryFaults(bool refuseInitialize, bool failDeviceList)
{
    std::lock_guard<std::mutex> lock(mutex_);
    refuseInitialize_ = refuseInitialize;
    failDeviceList_ = failDeviceList;
}

void AdapterLibrary::setBuildString(const char* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    buildOverridden_ = text != nullptr;
    buildOverride_ = text ? text : "";
}

std::shared_ptr<DummyState> AdapterLibrary::dummyState(const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dummyStateLocked(name);
}

std::shared_ptr<DummyAdapter> AdapterLibrary::openDummy(const std::string& name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& kv : open_) {
        if (kv.second.adapter->name() == name)
            return std::dynamic_pointer_cast<DummyAdapter>(kv.second.adapter);
    }
    return nullptr;
}
