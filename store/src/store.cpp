// Placeholder translation unit until the storage component lands.
namespace kh::store {
int componentVersion() { return 1; }
}  // namespace kh::store
