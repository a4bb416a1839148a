#pragma once

class AIService;

// Plugs the analyzers of this build into the service's chain factory: the local model server,
// image recognition, and the cloud model reading its key from the key store. The composition
// root calls it once, after installing HttpClient, KeychainStore and LocalModelServer.
void installAnalyzers(AIService& service);
