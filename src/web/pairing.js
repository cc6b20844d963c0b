// Pairing a phone or tablet: the window's QR code opens the page at "#pair=CODE", or the code
// is typed where a token goes. The code works once: it is traded for a credential of this
// device's own, and taken out of the address at once, so that neither the history nor a
// bookmark keeps it.
const LINK_PREFIX = '#pair=';
const CODE_DIGITS = 10;

export function codeFromLink() {
  if (!location.hash.startsWith(LINK_PREFIX)) return null;
  const code = location.hash.slice(LINK_PREFIX.length);
  history.replaceState(null, '', location.pathname + location.search);
  return code;
}

// A typed code may be grouped for reading ("012 345 6789"); a token is never ten digits.
export function isPairingCode(text) {
  return /^[\d\s-]+$/.test(text) && text.replace(/\D/g, '').length === CODE_DIGITS;
}

// The new credential; a PairingError naming the text to show when there is none.
export async function tradeCode(code) {
  let reply;
  try {
    reply = await fetch('/api/pair', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ code }),
      cache: 'no-store',
    });
  } catch {
    throw new PairingError('unreachable');
  }
  if (reply.status === 403) throw new PairingError('pairRefused');
  const answer = reply.ok ? await reply.json().catch(() => null) : null;
  if (!answer?.credential) throw new PairingError('pairFailed');
  return answer.credential;
}

export class PairingError extends Error {
  constructor(text) {
    super(text);
    this.text = text;
  }
}
