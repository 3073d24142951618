#include "platform/fake/fake_process.h"

#include <utility>

namespace plinth::fake {

platform::SysResult<platform::ModuleHandle> FakeModule::own_handle() {
    if (auto code = faults_.check("module.own_handle")) return unexpected(*code);
    return kHandle;
}

platform::PackageResource FakeModule::package_resource(platform::ModuleHandle) {
    platform::PackageResource resource;
    if (auto code = faults_.check("module.package_resource")) {
        resource.state = platform::PackageResource::State::unloadable;
        resource.error = *code;
        return resource;
    }
    if (!package) return resource;
    if (package_load_error) {
        resource.state = platform::PackageResource::State::unloadable;
        resource.error = *package_load_error;
        return resource;
    }
    resource.state = platform::PackageResource::State::found;
    resource.bytes = std::span<const std::uint8_t>(package->data(), package->size());
    return resource;
}

platform::PackageResource FakeModule::files_resource(platform::ModuleHandle) {
    platform::PackageResource resource;
    if (!files) return resource;
    if (files_load_error) {
        resource.state = platform::PackageResource::State::unloadable;
        resource.error = *files_load_error;
        return resource;
    }
    resource.state = platform::PackageResource::State::found;
    resource.bytes = std::span<const std::uint8_t>(files->data(), files->size());
    return resource;
}

platform::PackageResource FakeModule::languages_resource(platform::ModuleHandle) {
    ++languages_reads;
    platform::PackageResource resource;
    if (!languages) return resource;
    resource.state = platform::PackageResource::State::found;
    resource.bytes = std::span<const std::uint8_t>(languages->data(), languages->size());
    return resource;
}

platform::PackageResource FakeModule::license_resource(platform::ModuleHandle) {
    platform::PackageResource resource;
    if (!license) return resource;
    resource.state = platform::PackageResource::State::found;
    resource.bytes = std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(license->data()), license->size());
    return resource;
}

platform::SysResult<Path> FakeModule::own_path() {
    if (auto code = faults_.check("module.own_path")) return unexpected(*code);
    return path;
}

std::optional<std::uintptr_t> FakeModule::load_app_icon(platform::ModuleHandle, int side) {
    icon_sides.push_back(side);
    if (!icon_available) return std::nullopt;
    ++live_icons;
    return kIcon;
}

void FakeModule::destroy_icon(std::uintptr_t icon) {
    if (icon == kIcon) --live_icons;
}

FakeSystemText::FakeSystemText(FaultPlan& faults) : faults_(faults) {
    messages = {
        {0, u"The operation completed successfully.\r\n"},
        {2, u"The system cannot find the file specified.\r\n"},
        {3, u"The system cannot find the path specified.\r\n"},
        {5, u"Access is denied.\r\n"},
        {32, u"The process cannot access the file because it is being used by another process.\r\n"},
        {87, u"The parameter is incorrect.\r\n"},
        {112, u"There is not enough space on the disk.\r\n"},
        {183, u"Cannot create a file when that file already exists.\r\n"},
        {0x80070002u, u"The system cannot find the file specified.\r\n"},
        {0x80070003u, u"The system cannot find the path specified.\r\n"},
        {0x80070005u, u"Access is denied.\r\n"},
        {0x80070020u, u"The process cannot access the file because it is being used by another process.\r\n"},
        {0x80070070u, u"There is not enough space on the disk.\r\n"},
        {0x80004003u, u"Invalid pointer\r\n"},
        {0x80004005u, u"Unspecified error\r\n"},
    };
    ntdll_messages = {
        {0xC0000022u, u"{Access Denied}\r\nA process has requested access to an object, but has not been granted those access rights.\r\n"},
    };
}

platform::SysResult<std::u16string> FakeSystemText::format_message(std::uint32_t flags, bool from_ntdll,
                                                                   std::uint32_t code, std::uint32_t language) {
    calls.push_back({flags, from_ntdll, code, language});
    if (auto error = faults_.check("system_text.format_message")) return unexpected(*error);
    if (language == 0x0409 && !from_ntdll) {
        auto english = english_messages.find(code);
        if (english == english_messages.end()) return unexpected(platform::ErrorCode{1815});  // ERROR_RESOURCE_LANG_NOT_FOUND
        return english->second;
    }
    const auto& table = from_ntdll ? ntdll_messages : messages;
    auto it = table.find(code);
    if (it == table.end()) return unexpected(platform::ErrorCode{317});  // ERROR_MR_MID_NOT_FOUND
    return it->second;
}

namespace {

class WorkOnDemand final : public platform::WorkAhead {
public:
    explicit WorkOnDemand(platform::BufferMaker& maker) : maker_(maker) {}
    std::optional<std::span<const std::uint8_t>> next() override {
        if (next_ >= maker_.count()) return std::nullopt;
        buffer_.assign(maker_.size_of(next_), 0);
        if (!maker_.make(next_++, buffer_)) return std::nullopt;
        return std::span<const std::uint8_t>(buffer_);
    }

private:
    platform::BufferMaker& maker_;
    std::size_t next_ = 0;
    std::vector<std::uint8_t> buffer_;
};

class LazyWorker final : public platform::Worker {
public:
    LazyWorker(void (*work)(void*), void* data) : work_(work), data_(data) {}
    ~LazyWorker() override { finished(); }
    bool finished() override {
        if (work_) std::exchange(work_, nullptr)(data_);
        return true;
    }

private:
    void (*work_)(void*);
    void* data_;
};

}  // namespace

std::unique_ptr<platform::Worker> FakeSession::start_worker(void (*work)(void*), void* data) {
    if (!second_thread) return nullptr;
    ++workers_started;
    return std::make_unique<LazyWorker>(work, data);
}

std::unique_ptr<platform::WorkAhead> FakeSession::work_ahead(platform::BufferMaker& maker, std::size_t) {
    if (!second_thread) return nullptr;
    ++work_aheads_started;
    return std::make_unique<WorkOnDemand>(maker);
}

}  // namespace plinth::fake
