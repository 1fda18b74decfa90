// Placeholder until the html elements lands.
namespace movrek {}
