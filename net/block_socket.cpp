// Placeholder until the block socket lands.
namespace movrek {}
