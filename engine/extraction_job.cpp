// Placeholder until the extraction job lands.
namespace movrek {}
