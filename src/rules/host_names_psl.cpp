// Host names through libpsl (Linux).
#include <libpsl.h>

#include "rules/host_names.h"

namespace vw {
namespace {

class LibpslNames final : public HostNames {
 public:
  // Takes `psl` over when `owned`; a null `psl` knows no suffix.
  LibpslNames(const psl_ctx_t* psl, bool owned) : psl_(psl), owned_(owned) {}
  ~LibpslNames() override {
    if (owned_) psl_free(const_cast<psl_ctx_t*>(psl_));
  }
  LibpslNames(const LibpslNames&) = delete;
  LibpslNames& operator=(const LibpslNames&) = delete;

  bool IsPublicSuffix(std::string_view host) const override {
    if (psl_ == nullptr) return false;
    const std::string text(host);
    return psl_is_public_suffix2(psl_, text.c_str(), PSL_TYPE_ANY | PSL_TYPE_NO_STAR_RULE) != 0;
  }

  std::string_view RegistrableDomain(std::string_view host) const override {
    if (psl_ == nullptr) return {};
    const std::string text(host);
    const char* found = psl_registrable_domain(psl_, text.c_str());
    if (found == nullptr) return {};
    return host.substr(static_cast<std::size_t>(found - text.c_str()));
  }

 private:
  const psl_ctx_t* psl_;
  bool owned_;
};

}  // namespace

const HostNames& SystemHostNames() {
  static const LibpslNames names = [] {
    psl_ctx_t* latest = psl_latest(nullptr);
    return latest != nullptr ? LibpslNames(latest, true) : LibpslNames(psl_builtin(), false);
  }();
  return names;
}

std::unique_ptr<HostNames> LibpslHostNames(const char* dat_path) {
  return std::make_unique<LibpslNames>(psl_load_file(dat_path), true);
}

}  // namespace vw
