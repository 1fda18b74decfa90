// Placeholder until the text util lands.
namespace movrek {}
