// Placeholder until the text list lands.
namespace movrek {}
