// The catalogue fetch's thread: it writes the catalogue state, which is published whole, and nothing else.
#include "download/Catalogue.h"

namespace kx {

void StartCatalogueFetch(const std::string& host, HttpGetPort& http, CatalogueState& state) {
    state.failure.Set("");
    state.status.Set(CatalogueStatus::Fetching);
    state.fetch.Start([host, &http, &state](const StopToken&) {
        Outcome fetched = Outcome::Failed("读取系统列表时出错");
        try {
            fetched = CatalogueFetch(host, http, state.catalogue);
        } catch (...) {
            // A failed fetch leaves the catalogue as it was, like an unreachable server.
        }
        state.failure.Set(fetched.Describe());
        state.status.Set(fetched ? CatalogueStatus::Arrived : CatalogueStatus::Failed);
    });
}

}  // namespace kx
