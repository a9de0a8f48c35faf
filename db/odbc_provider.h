// The start-up check that the data-access component can be made at all.
#pragma once

namespace db {

// True when an "ADODB.Connection" can be created. When creation fails because the provider
// cannot be found, offers to open the database engine's download pages (2010, then 2016) and
// returns false whatever the answer; any other failure gives false without a word. Never throws.
bool ProviderAvailable();

}  // namespace db
