// Placeholder until the tls openssl lands.
namespace movrek {}
