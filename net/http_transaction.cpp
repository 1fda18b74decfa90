// Placeholder until the http transaction lands.
namespace movrek {}
