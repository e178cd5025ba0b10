// Placeholder until the preprocessor lands.
namespace cppkv {}
