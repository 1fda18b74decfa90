// Placeholder until the html scanner lands.
namespace movrek {}
