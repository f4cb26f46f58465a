LWMO
NumChannels 2
Channel 0
{ Envelope
 0
}
