// Captures that readersim --pcap writes while the console cores talk to it
// (filled in below).
